// The background worker: timing of its runs, prompt stops, and sharing the check between threads.
// Run these under ThreadSanitizer as well:
//   cmake -S . -B build-tsan -DPLUMBROOK_SANITIZE=thread -DPLUMBROOK_BENCH=OFF
//   cmake --build build-tsan -j2 --target updates_update_worker_test updates_update_check_test
//   ctest --test-dir build-tsan -L updates
#include "updates/update_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/system/http.h"
#include "tests/support/http_test_server.h"
#include "tests/updates/scratch.h"

namespace {

using namespace std::chrono_literals;
using plumbrook::test::HttpTestServer;
using plumbrook::test::ScratchDir;
using quillfen::updates::Config;
using quillfen::updates::Notice;
using quillfen::updates::UpdateCheck;
using quillfen::updates::UpdateWorker;
using Clock = std::chrono::steady_clock;

const std::string kFeed = R"({"plumbrook":{"version":"0.4.0","page":"/plumbrook"}})";

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Polls `done` until it holds or `limit` passes; the limit only guards against a hang.
template <typename Predicate>
bool eventually(Predicate done, std::chrono::milliseconds limit = 10s) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

class UpdateWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("QUILLFEN_UPDATES_URL");
    plumbrook::test::keepRequestsOnLoopback();
  }

  // Every call of the clock is ten minutes later, so every run of the hook is due.
  Config config() {
    Config c;
    c.product = "plumbrook";
    c.version = "0.3.2";
    c.directory = scratch_.path() / "Updates";
    c.now = [this] { return clock_.fetch_add(600) + 600; };
    c.networkAllowed = [] { return true; };
    c.fetch = [this](const std::string&, const std::atomic<bool>&) {
      ++fetches_;
      return platform::HttpResult{200, kFeed};
    };
    return c;
  }

  ScratchDir scratch_;
  std::atomic<int64_t> clock_{1'700'000'000};
  std::atomic<int> fetches_{0};
};

TEST_F(UpdateWorkerTest, runs_the_hook_after_the_first_delay_and_then_each_period) {
  auto check = std::make_shared<UpdateCheck>(config());
  EXPECT_EQ(check->snapshot().notice, std::nullopt);
  {
    UpdateWorker worker(check, 20ms, 30ms, 40ms);
    ASSERT_TRUE(eventually([&] { return worker.runs() >= 3; })) << "runs: " << worker.runs();
    EXPECT_GE(fetches_.load(), 3);
    // The hook's reload published the fetched feed's notice.
    EXPECT_EQ(check->snapshot().notice, (Notice{"0.4.0", "https://quillfen.example/plumbrook"}));
  }
  EXPECT_EQ(check->readRecord().feed, kFeed);
}

TEST_F(UpdateWorkerTest, waits_a_whole_period_between_runs) {
  auto check = std::make_shared<UpdateCheck>(config());
  UpdateWorker worker(check, 0ms, 0ms, std::chrono::hours(1));
  ASSERT_TRUE(eventually([&] { return worker.runs() == 1; }));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(worker.runs(), 1);
  EXPECT_EQ(fetches_.load(), 1);
}

TEST_F(UpdateWorkerTest, stops_at_once_before_the_first_run) {
  auto check = std::make_shared<UpdateCheck>(config());
  const auto started = Clock::now();
  {
    UpdateWorker worker(check);  // the plug-in's 4-10 s first delay
  }
  EXPECT_LT(secondsSince(started), 1.0);
  EXPECT_EQ(fetches_.load(), 0);
}

TEST_F(UpdateWorkerTest, stop_during_a_silent_request_cancels_it_at_once) {
  HttpTestServer server([](const HttpTestServer::Request&) {
    HttpTestServer::Response response;
    response.body = kFeed;
    response.delay = 20s;
    return response;
  });
  Config c = config();
  c.feedUrl = server.url("/updates.json");
  // The plug-in's own time-out: without cancelling, stopping would wait 8 s.
  c.fetch = [](const std::string& url, const std::atomic<bool>& cancelled) {
    return platform::getJson(url, 8, &cancelled);
  };
  auto check = std::make_shared<UpdateCheck>(std::move(c));

  auto worker = std::make_unique<UpdateWorker>(check, 0ms, 0ms, 40ms);
  ASSERT_TRUE(server.waitForRequests(1, 10s));
  const auto started = Clock::now();
  worker.reset();
  // Cancelled within 100 ms; the margin is for a loaded machine.
  EXPECT_LT(secondsSince(started), 1.0);
  EXPECT_EQ(check->readRecord().feed, "") << "the slow answer never counted";
}

TEST_F(UpdateWorkerTest, check_is_shared_safely_with_editor_and_settings_threads) {
  auto check = std::make_shared<UpdateCheck>(config());
  auto worker = std::make_unique<UpdateWorker>(check, 0ms, 0ms, 5ms);
  std::atomic<bool> done{false};
  std::atomic<uint32_t> highestRevision{0};

  // The editor polls the published state every frame.
  std::thread editor([&] {
    uint32_t last = 0;
    while (!done) {
      const UpdateCheck::Snapshot state = check->snapshot();
      EXPECT_GE(state.revision, last) << "revision never goes back";
      last = state.revision;
      if (!state.enabled) {
        EXPECT_EQ(state.notice, std::nullopt);
      }
      highestRevision = last;
    }
  });
  // The settings menu switches checking off and on; other instances reload.
  std::thread settings([&] {
    for (int i = 0; i < 40 && !done; ++i) {
      check->setEnabled(i % 2 == 1);
      check->reload();
    }
  });
  settings.join();
  check->setEnabled(true);
  ASSERT_TRUE(eventually([&] { return worker->runs() >= 5; }));
  ASSERT_TRUE(eventually([&] { return check->snapshot().notice.has_value(); }));
  done = true;
  editor.join();
  worker.reset();

  const UpdateCheck::Snapshot final = check->snapshot();
  EXPECT_TRUE(final.enabled);
  EXPECT_EQ(final.notice, (Notice{"0.4.0", "https://quillfen.example/plumbrook"}));
  EXPECT_GE(final.revision, highestRevision.load());
  EXPECT_GE(final.revision, 2u);
}

}  // namespace
