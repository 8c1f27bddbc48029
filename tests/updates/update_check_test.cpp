// The update check against real files in a scratch directory and a real loopback HTTP server.
#include "updates/update_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "platform/system/http.h"
#include "tests/support/http_test_server.h"
#include "tests/updates/scratch.h"
#include "updates/json.h"
#include "updates/maker.h"

namespace {

namespace fs = std::filesystem;
using plumbrook::test::fileText;
using plumbrook::test::HttpTestServer;
using plumbrook::test::putFile;
using plumbrook::test::ScratchDir;
using quillfen::updates::Config;
using quillfen::updates::Notice;
using quillfen::updates::parseVersion;
using quillfen::updates::UpdateCheck;
using quillfen::updates::Version;
using Record = UpdateCheck::Record;

constexpr int64_t kNow = 1'700'000'000;
const std::string kFeed =
    R"({"other":{"version":"9.9.9","page":"/other"}, "plumbrook": {"version":"0.4.0","page":"/plumbrook"}})";
const std::string kOldFeed = R"({"plumbrook":{"version":"0.3.1","page":"/plumbrook"}})";

std::string feedFor(const std::string& version, const std::string& page) {
  return R"({"plumbrook":{"version":)" + json::quote(version) + R"(,"page":)" + json::quote(page) +
         "}}";
}

// A valid JSON object padded with spaces to exactly `bytes` bytes.
std::string paddedFeed(std::size_t bytes) {
  std::string text = kFeed;
  text.insert(1, bytes - text.size(), ' ');
  return text;
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("QUILLFEN_UPDATES_URL");
    plumbrook::test::keepRequestsOnLoopback();
  }
  void TearDown() override { ::unsetenv("QUILLFEN_UPDATES_URL"); }

  fs::path dir() const { return scratch_.path() / "Quillfen" / "Updates"; }

  // A configuration whose clock, network permission and fetch are the test's.
  Config config() {
    Config c;
    c.product = "plumbrook";
    c.version = "0.3.2";
    c.directory = dir();
    c.now = [this] { return now_.load(); };
    c.networkAllowed = [this] { return network_.load(); };
    c.fetch = [this](const std::string& url, const std::atomic<bool>&) {
      std::lock_guard lock(mutex_);
      fetchedUrls_.push_back(url);
      // What the record held while the request was being made.
      recordDuringFetch_ = UpdateCheck(config()).readRecord();
      return answer_;
    };
    return c;
  }

  std::unique_ptr<UpdateCheck> make() { return std::make_unique<UpdateCheck>(config()); }

  int fetchCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(fetchedUrls_.size());
  }

  ScratchDir scratch_;
  std::atomic<int64_t> now_{kNow};
  std::atomic<bool> network_{true};
  std::mutex mutex_;
  platform::HttpResult answer_{200, kFeed};
  std::vector<std::string> fetchedUrls_;
  Record recordDuringFetch_;
};

}  // namespace

TEST(update_version, parses_three_groups_of_one_to_four_digits) {
  EXPECT_EQ(parseVersion("0.3.2"), (Version{0, 3, 2}));
  EXPECT_EQ(parseVersion("9999.0.10"), (Version{9999, 0, 10}));
  EXPECT_EQ(parseVersion("0004.01.0"), (Version{4, 1, 0}));
  for (const char* bad : {"", "1.0", "1.0.0-beta", "10000.0.0", "v1.0.0", "1..0", " 1.0.0",
                          "1.0.0 ", "1.0.0.0", "-1.0.0", "+1.0.0", "1.0.", ".1.0", "1,0,0",
                          "1.0.0\n", "a.b.c", "1.0.x"}) {
    EXPECT_EQ(parseVersion(bad), std::nullopt) << "'" << bad << "'";
  }
  EXPECT_EQ(parseVersion(std::string_view("1.0.0\0", 6)), std::nullopt);
}

TEST(update_directory, sits_in_the_makers_shared_support_folder) {
  EXPECT_EQ(quillfen::updates::defaultDirectory("/home/u/.local/share"),
            fs::path("/home/u/.local/share/Quillfen/Updates"));
}

TEST_F(UpdateCheckTest, notice_needs_a_numerically_newer_version) {
  auto check = make();
  const auto notice = [&](const std::string& version) {
    return check->noticeFrom(Record{0, feedFor(version, "/x")});
  };
  EXPECT_EQ(notice("0.3.10"), (Notice{"0.3.10", "https://quillfen.example/x"}));
  EXPECT_TRUE(notice("0.4.0"));
  EXPECT_TRUE(notice("1.0.0"));
  EXPECT_TRUE(notice("0.3.0003"));
  EXPECT_TRUE(notice("0003.0002.0000"));
  for (const char* notNewer : {"0.3.2", "0.3.1", "0.2.99", "0.0.9999", "0000.0003.0002"}) {
    EXPECT_EQ(notice(notNewer), std::nullopt) << notNewer;
  }
  for (const char* malformed : {"1.0", "1.0.0-beta", "10000.0.0", "v1.0.0", ""}) {
    EXPECT_EQ(notice(malformed), std::nullopt) << malformed;
  }

  Config badRunning = config();
  badRunning.version = "0.3";
  EXPECT_EQ(UpdateCheck(std::move(badRunning)).noticeFrom(Record{0, feedFor("9.9.9", "/x")}),
            std::nullopt);
}

TEST_F(UpdateCheckTest, notice_accepts_only_plain_site_paths) {
  auto check = make();
  const auto notice = [&](const std::string& page) {
    return check->noticeFrom(Record{0, feedFor("0.4.0", page)});
  };
  EXPECT_EQ(notice("/plumbrook#download"),
            (Notice{"0.4.0", std::string(quillfen::updates::kMakerOrigin) + "/plumbrook#download"}));
  EXPECT_TRUE(notice("/"));
  EXPECT_TRUE(notice("/A-z_0/9"));
  EXPECT_TRUE(notice("/" + std::string(99, 'a')));
  for (const std::string& bad :
       {std::string("//evil"), std::string("/a.b"), std::string("/a?b"), std::string("/a%20"),
        std::string("/a:b"), std::string("/" + std::string(100, 'a')), std::string(""),
        std::string("plumbrook"), std::string("https://evil.example/"), std::string("/caf\xC3\xA9"),
        std::string("/a b"), std::string("/a\\b"), std::string("/a@b")}) {
    EXPECT_EQ(notice(bad), std::nullopt) << bad;
  }
}

TEST_F(UpdateCheckTest, notice_needs_this_products_well_formed_entry) {
  auto check = make();
  const auto notice = [&](const std::string& feed) { return check->noticeFrom(Record{0, feed}); };
  EXPECT_EQ(notice(kFeed), (Notice{"0.4.0", "https://quillfen.example/plumbrook"}));
  for (const std::string& bad : {
           std::string(R"({"other":{"version":"9.9.9","page":"/other"}})"),
           std::string(R"({"Plumbrook":{"version":"9.9.9","page":"/p"}})"),
           std::string(R"({"plumbrook":"9.9.9"})"),
           std::string(R"({"plumbrook":{"version":9,"page":"/p"}})"),
           std::string(R"({"plumbrook":{"version":"9.9.9"}})"),
           std::string(R"({"plumbrook":{"version":"9.9.9","page":null}})"),
           std::string(R"([{"plumbrook":{"version":"9.9.9","page":"/p"}}])"),
           std::string(R"({"plumbrook":{"version":"9.9.9","page":"/p"})"),
           std::string(""),
       }) {
    EXPECT_EQ(notice(bad), std::nullopt) << bad;
  }
  // The first entry for the product counts, even when a later one would offer more.
  EXPECT_EQ(notice(R"({"plumbrook":{"version":"0.3.0","page":"/a"},"plumbrook":{"version":"9.0.0","page":"/b"}})"),
            std::nullopt);
  EXPECT_TRUE(notice(paddedFeed(65536)));
  EXPECT_EQ(notice(paddedFeed(65537)), std::nullopt);
}

TEST_F(UpdateCheckTest, record_is_one_line_in_a_fixed_member_order) {
  auto check = make();
  const Record record{1'700'000'123, R"({"a":"say \"hi\""})"};
  ASSERT_TRUE(check->writeRecord(record));
  EXPECT_EQ(fileText(check->recordFile()),
            R"({"version":1,"checked_at":1700000123,"feed":"{\"a\":\"say \\\"hi\\\"\"}"})"
            "\n");
  EXPECT_EQ(check->readRecord(), record);

  ASSERT_TRUE(check->writeRecord(Record{-42, ""}));
  EXPECT_EQ(fileText(check->recordFile()), "{\"version\":1,\"checked_at\":-42,\"feed\":\"\"}\n");
  EXPECT_EQ(check->readRecord(), (Record{-42, ""}));
  EXPECT_EQ(check->recordFile(), dir() / "updates.json");
  EXPECT_EQ(check->offFile(), dir() / "updates-off");
}

TEST_F(UpdateCheckTest, damaged_records_read_as_unknown_parts) {
  auto check = make();
  EXPECT_EQ(check->readRecord(), Record{}) << "missing file";
  fs::create_directories(dir());
  const std::pair<std::string, Record> cases[] = {
      {"not json", {0, ""}},
      {"", {0, ""}},
      {R"([1700000000])", {0, ""}},
      {R"({"checked_at":1.5,"feed":"{}"})", {0, "{}"}},
      {R"({"checked_at":1e300})", {0, ""}},
      {R"({"checked_at":-1e300})", {0, ""}},
      {R"({"checked_at":9223372036854775807})", {0, ""}},
      {R"({"checked_at":-9223372036854775808})", {INT64_MIN, ""}},
      {R"({"checked_at":"1700000000"})", {0, ""}},
      {R"({"checked_at":1.7e9})", {1'700'000'000, ""}},
      {R"({"checked_at":100,"checked_at":200})", {100, ""}},
      {R"({"checked_at":null,"checked_at":200})", {0, ""}},
      {R"({"checked_at":100,"feed":"not json"})", {100, ""}},
      {R"({"checked_at":100,"feed":{"a":1}})", {100, ""}},
      {R"({"checked_at":100,"feed":"[1,2]"})", {100, "[1,2]"}},
      {R"({"checked_at":100,"feed":"{}"} trailing)", {0, ""}},
      {"{\"version\":1,\"checked_at\":100,\"feed\":" + json::quote(paddedFeed(65000)) + "}",
       {100, paddedFeed(65000)}},
      {"{\"checked_at\":100,\"feed\":\"" + paddedFeed(65600) + "\"}", {0, ""}},
  };
  for (const auto& [text, expected] : cases) {
    putFile(check->recordFile(), text);
    EXPECT_EQ(check->readRecord(), expected) << text.substr(0, 80);
  }
}

TEST_F(UpdateCheckTest, check_waits_ten_minutes_from_the_recorded_time) {
  auto check = make();
  for (int64_t ago : {0, 300, 599}) {
    ASSERT_TRUE(check->writeRecord(Record{kNow - ago, kOldFeed}));
    check->checkIfDue();
    EXPECT_EQ(fetchCount(), 0) << ago;
    EXPECT_EQ(check->readRecord(), (Record{kNow - ago, kOldFeed})) << ago;
  }
  // Due: ten minutes or more ago, or in the future (the clock went back), even at the extremes.
  for (int64_t checkedAt : {kNow - 600, kNow - 601, kNow + 1, kNow + 100000, INT64_MIN, INT64_MAX}) {
    ASSERT_TRUE(check->writeRecord(Record{checkedAt, kOldFeed}));
    const int before = fetchCount();
    check->checkIfDue();
    EXPECT_EQ(fetchCount(), before + 1) << checkedAt;
    EXPECT_EQ(recordDuringFetch_, (Record{kNow, kOldFeed})) << "time claimed before the request";
    EXPECT_EQ(check->readRecord(), (Record{kNow, kFeed})) << checkedAt;
  }
  EXPECT_EQ(fetchedUrls_.back(), "https://quillfen.example/updates.json");
}

TEST_F(UpdateCheckTest, missing_or_damaged_record_makes_a_check_due_at_once) {
  auto check = make();
  check->checkIfDue();
  EXPECT_EQ(fetchCount(), 1);
  EXPECT_EQ(check->readRecord(), (Record{kNow, kFeed}));

  putFile(check->recordFile(), "{\"checked_at\":" + std::to_string(kNow) + ".5}");
  check->checkIfDue();
  EXPECT_EQ(fetchCount(), 2);
}

TEST_F(UpdateCheckTest, rejected_answers_keep_the_old_feed_with_the_new_time) {
  auto check = make();
  const platform::HttpResult answers[] = {
      {0, ""}, {304, kFeed}, {404, kFeed}, {500, kFeed}, {200, "not json"}, {200, "[1]"},
      {200, "\"text\""}, {200, ""}, {200, paddedFeed(65537)}, {201, kFeed},
  };
  int64_t time = kNow;
  for (const auto& answer : answers) {
    time += 600;
    now_ = time;
    answer_ = answer;
    ASSERT_TRUE(check->writeRecord(Record{time - 600, kOldFeed}));
    check->checkIfDue();
    EXPECT_EQ(check->readRecord(), (Record{time, kOldFeed}))
        << answer.status << " " << answer.body.substr(0, 40);
  }

  // A feed whose record would pass the file cap once quoted is refused as well: written, it
  // would read back as a damaged record and make every instance fetch on every run.
  answer_ = {200, paddedFeed(65536)};
  now_ = time += 600;
  check->checkIfDue();
  EXPECT_EQ(check->readRecord(), (Record{time, kOldFeed}));
  now_ = time += 600;
  check->checkIfDue();
  EXPECT_EQ(check->readRecord(), (Record{time, kOldFeed}));

  answer_ = {200, paddedFeed(65400)};
  now_ = time += 600;
  check->checkIfDue();
  EXPECT_EQ(check->readRecord(), (Record{time, paddedFeed(65400)}));
  EXPECT_LE(fs::file_size(check->recordFile()), 65536u);
}

TEST_F(UpdateCheckTest, records_that_could_not_be_read_back_are_not_written) {
  auto check = make();
  ASSERT_TRUE(check->writeRecord(Record{kNow, kOldFeed}));
  // Every control byte quotes to six bytes: 20,000 of them make a 120 kB record.
  EXPECT_FALSE(check->writeRecord(Record{kNow + 1, "\"" + std::string(20000, '\x01') + "\""}));
  EXPECT_EQ(check->readRecord(), (Record{kNow, kOldFeed}));
}

TEST_F(UpdateCheckTest, no_request_without_permission_marker_or_writable_directory) {
  {
    network_ = false;
    auto check = make();
    check->checkIfDue();
    EXPECT_EQ(fetchCount(), 0);
    EXPECT_FALSE(fs::exists(check->recordFile())) << "nothing claimed without permission";
    network_ = true;
  }
  {
    auto check = make();
    check->setEnabled(false);
    check->checkIfDue();
    EXPECT_EQ(fetchCount(), 0);
    EXPECT_FALSE(fs::exists(check->recordFile()));
  }
  {
    // A plain file where the directory should be: nothing can be written below it.
    putFile(scratch_.path() / "blocked", "x");
    Config blocked = config();
    blocked.directory = scratch_.path() / "blocked" / "Updates";
    UpdateCheck check(std::move(blocked));
    check.checkIfDue();
    EXPECT_EQ(fetchCount(), 0);
  }
}

TEST_F(UpdateCheckTest, marker_switches_checks_and_notices_off_for_everyone) {
  auto check = make();
  ASSERT_TRUE(check->writeRecord(Record{kNow, kFeed}));
  check->reload();
  auto state = check->snapshot();
  EXPECT_TRUE(state.enabled);
  EXPECT_EQ(state.notice, (Notice{"0.4.0", "https://quillfen.example/plumbrook"}));
  EXPECT_EQ(state.revision, 1u);

  check->setEnabled(false);
  EXPECT_EQ(fileText(check->offFile()),
            "The Quillfen plug-ins do not check for updates while this file is here.\n");
  state = check->snapshot();
  EXPECT_FALSE(state.enabled);
  EXPECT_EQ(state.notice, std::nullopt);
  EXPECT_EQ(state.revision, 2u);
  check->setEnabled(false);
  EXPECT_EQ(check->revision(), 2u) << "nothing changed";

  // Another instance sharing the directory sees the marker at its next reload.
  auto other = make();
  EXPECT_FALSE(other->snapshot().enabled);

  check->setEnabled(true);
  EXPECT_FALSE(fs::exists(check->offFile()));
  state = check->snapshot();
  EXPECT_TRUE(state.enabled);
  EXPECT_EQ(state.notice, (Notice{"0.4.0", "https://quillfen.example/plumbrook"}));
  EXPECT_EQ(state.revision, 3u);
  check->reload();
  EXPECT_EQ(check->revision(), 3u);

  // A newer feed changes the notice and so the revision.
  ASSERT_TRUE(check->writeRecord(Record{kNow, feedFor("0.5.0", "/plumbrook")}));
  check->reload();
  EXPECT_EQ(check->snapshot().notice->version, "0.5.0");
  EXPECT_EQ(check->revision(), 4u);
}

TEST_F(UpdateCheckTest, recorded_notice_shows_from_construction) {
  fs::create_directories(dir());
  putFile(dir() / "updates.json", "{\"version\":1,\"checked_at\":1,\"feed\":" + json::quote(kFeed) + "}\n");
  auto check = make();
  EXPECT_EQ(check->snapshot().notice, (Notice{"0.4.0", "https://quillfen.example/plumbrook"}));
  EXPECT_EQ(fetchCount(), 0) << "construction never fetches";
}

TEST_F(UpdateCheckTest, environment_replaces_the_feed_url_only_when_not_empty) {
  EXPECT_EQ(make()->config().feedUrl, quillfen::updates::defaultFeedUrl());
  ::setenv("QUILLFEN_UPDATES_URL", "", 1);
  auto check = make();
  EXPECT_EQ(check->config().feedUrl, "https://quillfen.example/updates.json");
  check->checkIfDue();
  ASSERT_EQ(fetchCount(), 1);
  EXPECT_EQ(fetchedUrls_[0], "https://quillfen.example/updates.json");

  ::setenv("QUILLFEN_UPDATES_URL", "http://127.0.0.1:9/feed", 1);
  EXPECT_EQ(make()->config().feedUrl, "http://127.0.0.1:9/feed");
}

TEST_F(UpdateCheckTest, files_are_replaced_whole_and_capped_when_read) {
  const fs::path target = scratch_.path() / "a" / "b" / "file.txt";
  ASSERT_TRUE(UpdateCheck::writeFile(target, "first"));
  ASSERT_TRUE(UpdateCheck::writeFile(target, std::string("second\0bytes", 12)));
  EXPECT_EQ(UpdateCheck::readFile(target), std::string("second\0bytes", 12));
  EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), fs::directory_iterator()), 1)
      << "no temporary file left beside the target";

  // A directory in the way: the rename fails and the temporary file is removed.
  const fs::path occupied = scratch_.path() / "occupied";
  fs::create_directories(occupied / "inside");
  EXPECT_FALSE(UpdateCheck::writeFile(occupied, "x"));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()), 2);

  const fs::path big = scratch_.path() / "big";
  ASSERT_TRUE(UpdateCheck::writeFile(big, std::string(65536, 'x')));
  EXPECT_EQ(UpdateCheck::readFile(big)->size(), 65536u);
  ASSERT_TRUE(UpdateCheck::writeFile(big, std::string(65537, 'x')));
  EXPECT_EQ(UpdateCheck::readFile(big), std::nullopt);
  EXPECT_EQ(UpdateCheck::readFile(scratch_.path() / "missing"), std::nullopt);
  EXPECT_EQ(UpdateCheck::readFile(occupied), std::nullopt);
  ASSERT_TRUE(UpdateCheck::writeFile(big, ""));
  EXPECT_EQ(UpdateCheck::readFile(big), std::string());
}

// ---- Requests over a real loopback connection ----

class UpdateCheckHttpTest : public UpdateCheckTest {
 protected:
  UpdateCheckHttpTest()
      : server_([](const HttpTestServer::Request& request) {
          HttpTestServer::Response response;
          if (request.path == "/updates.json" || request.path == "/") {
            response.body = " " + kFeed + "\n";
          } else if (request.path == "/exact") {
            response.body = paddedFeed(65536);
          } else if (request.path == "/oversized") {
            response.body = paddedFeed(65537);
          } else if (request.path == "/unannounced") {
            // No length given: the cap has to be enforced while the bytes arrive.
            response.body = paddedFeed(1 << 20);
            response.sendLength = false;
          } else if (request.path == "/not-modified") {
            response.status = 304;
          } else if (request.path == "/moved") {
            response.status = 302;
            response.headers.emplace_back("Location", "/updates.json");
          } else if (request.path == "/slow") {
            response.body = kFeed;
            response.delay = std::chrono::milliseconds(4000);
          } else if (request.path == "/broken") {
            response.body = R"({"plumbrook":{"version":"0.4.0",)";
          } else if (request.path == "/error") {
            response.status = 500;
            response.body = kFeed;
          } else {
            response.status = 404;
          }
          return response;
        }) {}

  // A check whose feed is `path` on the server, fetched for real with a 1 s time-out.
  std::unique_ptr<UpdateCheck> makeLive(const std::string& path) {
    Config c = config();
    c.feedUrl = server_.url(path);
    c.fetch = [](const std::string& url, const std::atomic<bool>&) { return platform::getJson(url, 1); };
    return std::make_unique<UpdateCheck>(std::move(c));
  }

  HttpTestServer server_;
};

TEST_F(UpdateCheckHttpTest, good_feed_is_recorded_exactly_and_offers_a_notice) {
  auto check = makeLive("/updates.json");
  EXPECT_EQ(check->snapshot().notice, std::nullopt);
  check->checkIfDue();
  EXPECT_EQ(check->readRecord(), (Record{kNow, " " + kFeed + "\n"}));
  check->reload();
  EXPECT_EQ(check->snapshot().notice, (Notice{"0.4.0", "https://quillfen.example/plumbrook"}));

  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/updates.json");
  EXPECT_EQ(requests[0].header("accept"), "application/json");

  // Within the interval a second instance makes no request.
  makeLive("/updates.json")->checkIfDue();
  EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(UpdateCheckHttpTest, equivalent_spellings_of_the_url_are_the_same_resource) {
  for (const std::string& url :
       {server_.url(""), server_.url("/x/../updates.json"),
        "HTTP://127.0.0.1:" + std::to_string(server_.port()) + "/updates.json"}) {
    const platform::HttpResult answer = platform::getJson(url, 1);
    EXPECT_EQ(answer.status, 200) << url;
    EXPECT_EQ(answer.body, " " + kFeed + "\n") << url;
  }
}

TEST_F(UpdateCheckHttpTest, body_of_exactly_the_cap_is_accepted) {
  const platform::HttpResult answer = platform::getJson(server_.url("/exact"), 1);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, paddedFeed(65536));
}

TEST_F(UpdateCheckHttpTest, environment_url_replaces_the_feed_and_no_fetch_means_no_request) {
  ::setenv("QUILLFEN_UPDATES_URL", server_.url("/updates.json").c_str(), 1);
  Config c = config();
  c.feedUrl = "http://127.0.0.1:1/never";
  c.fetch = nullptr;
  UpdateCheck silent(c);
  silent.checkIfDue();
  EXPECT_TRUE(server_.requests().empty());

  c.fetch = [](const std::string& url, const std::atomic<bool>&) { return platform::getJson(url, 1); };
  UpdateCheck check(std::move(c));
  check.checkIfDue();
  EXPECT_EQ(check.readRecord(), (Record{kNow, " " + kFeed + "\n"}));
  ASSERT_EQ(server_.requests().size(), 1u);
}

TEST_F(UpdateCheckHttpTest, unusable_answers_are_no_answer) {
  // The HTTP layer passes 500 and broken JSON on (the check judges them); the rest are no answer.
  const std::pair<const char*, int> cases[] = {{"/oversized", 0}, {"/unannounced", 0},
                                               {"/not-modified", 0}, {"/moved", 0},
                                               {"/slow", 0},      {"/error", 500},      {"/broken", 200}};
  for (const auto& [path, status] : cases) {
    SCOPED_TRACE(path);
    const auto started = std::chrono::steady_clock::now();
    const platform::HttpResult answer = platform::getJson(server_.url(path), 1);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);
    EXPECT_EQ(answer.status, status);
    if (status == 0) {
      EXPECT_EQ(answer.body, "");
    }
    EXPECT_LT(seconds.count(), 3.0) << "bounded by the 1 s time-out";
  }
  // The redirect was not followed: its target was never asked for.
  for (const auto& request : server_.requests()) EXPECT_NE(request.path, "/updates.json");
}

TEST_F(UpdateCheckHttpTest, unusable_answers_keep_the_old_feed_with_the_new_time) {
  int64_t time = kNow;
  for (const char* path : {"/oversized", "/unannounced", "/not-modified", "/moved", "/slow",
                           "/error", "/broken", "/missing"}) {
    SCOPED_TRACE(path);
    auto check = makeLive(path);
    time += 600;
    now_ = time;
    ASSERT_TRUE(check->writeRecord(Record{time - 600, kOldFeed}));
    check->checkIfDue();
    EXPECT_EQ(check->readRecord(), (Record{time, kOldFeed}));
  }
}

TEST_F(UpdateCheckHttpTest, unreachable_or_unparsable_urls_fail_quickly) {
  const auto started = std::chrono::steady_clock::now();
  for (const std::string& url :
       {std::string("http://["), std::string("not a url"), std::string(""),
        std::string("ftp://127.0.0.1:") + std::to_string(server_.port()) + "/updates.json",
        std::string("file:///etc/hostname"), std::string("http://127.0.0.1:1/updates.json"),
        server_.url("/updates.json") + std::string(1, '\0') + "x"}) {
    const platform::HttpResult answer = platform::getJson(url, 1);
    EXPECT_EQ(answer.status, 0) << url;
    EXPECT_EQ(answer.body, "") << url;
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 3.0);
  EXPECT_TRUE(server_.requests().empty());
  EXPECT_TRUE(platform::mayUseNetwork());
}
