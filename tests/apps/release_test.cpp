// plumbrook render over a release: many files into a folder, names, collisions, failures among
// many, parallel jobs, album loudness, delivery profiles, rate conversion and shards.
#include <ebur128.h>
#include <signal.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <numbers>
#include <regex>
#include <set>
#include <thread>

#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

using Release = CliTest;

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every match of one capture in a text, in order.
std::vector<std::string> allOf(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
    found.push_back((*it)[1]);
  return found;
}

// BS.1770 integrated loudness of several files as one programme, measured here and not by the tool.
double albumLufs(const std::vector<Audio>& tracks) {
  std::vector<ebur128_state*> states;
  for (const Audio& a : tracks) {
    ebur128_state* s = ebur128_init(static_cast<unsigned>(a.channels), static_cast<unsigned long>(a.sampleRate),
                                    EBUR128_MODE_I);
    ebur128_add_frames_double(s, a.samples.data(), static_cast<size_t>(a.frames()));
    states.push_back(s);
  }
  double lufs = NAN;
  ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
  for (ebur128_state*& s : states) ebur128_destroy(&s);
  return lufs;
}

TEST_F(Release, masters_every_input_into_the_folder_under_its_pattern) {
  ASSERT_TRUE(writeAudio(path("a.wav"), program(2, 48000, 1.0, 0.5, 1), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  ASSERT_TRUE(writeAudio(path("b.flac"), program(2, 44100, 1.0, 0.5, 2), SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
  ASSERT_TRUE(writeAudio(path("c.aiff"), program(1, 48000, 1.0, 0.5, 3), SF_FORMAT_AIFF | SF_FORMAT_PCM_24));
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {{}, {"a.wav", "b.flac", "c.aiff"}},
      {{"--name", "{stem}-master.{ext}"}, {"a-master.wav", "b-master.flac", "c-master.aiff"}},
      {{"--name", "{n} {stem}.{ext}", "-j", "1"}, {"01 a.wav", "02 b.flac", "03 c.aiff"}},
      {{"--name", "{stem} [{format}].{ext}", "--format", "flac", "--bits", "16"},
       {"a [flac-16].flac", "b [flac-16].flac", "c [flac-16].flac"}},
  };
  int run = 0;
  for (const Case& c : cases) {
    const std::string folder = "masters" + std::to_string(++run);
    std::vector<std::string> args = {"render", "a.wav", "b.flac", "c.aiff", "-o", folder, "--report-json", "r.json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CommandResult r = plumbrook(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected = c.names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(dir() / folder), expected);
    for (const std::string& name : c.names) EXPECT_GT(readAudio(path(folder + "/" + name)).frames(), 0) << name;
    const std::string json = fileBytes(path("r.json"));
    EXPECT_EQ(json.front(), '[') << json;
    EXPECT_EQ(allOf(json, R"re("status": "(\w+)")re"), std::vector<std::string>(3, "ok")) << json;
  }
  // A list on standard input is taken in sorted order, which numbers the tracks.
  const CommandResult listed = plumbrook({"render", "--inputs-from", "-", "-o", "listed/", "--name", "{n}.{ext}"},
                                         "c.aiff\nb.flac\n\na.wav\n");
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(namesIn(dir() / "listed"), (std::vector<std::string>{"01.wav", "02.flac", "03.aiff"}));
}

TEST_F(Release, names_that_collide_or_an_unusable_folder_are_refused_before_anything_is_written) {
  std::filesystem::create_directories(dir() / "x");
  std::filesystem::create_directories(dir() / "y");
  for (const char* name : {"x/a.wav", "y/a.wav", "b.wav"})
    ASSERT_TRUE(writeAudio(path(name), program(2, 48000, 1.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  std::ofstream(path("file.wav")) << "not a folder";
  struct Case {
    std::vector<std::string> args;
    const char* message;
    int status;
  };
  const Case cases[] = {
      {{"render", "x/a.wav", "y/a.wav", "-o", "out"}, "would both be written to 'out/a.wav'", 2},
      {{"render", "x/a.wav", "b.wav", "-o", "out", "--name", "master.wav"}, "would both be written", 2},
      {{"render", "b.wav", "b.wav", "-o", "out"}, "would both be written", 2},
      {{"render", "x/a.wav", "b.wav", "-o", "out", "--name", "{title}.wav"}, "unknown field '{title}'", 2},
      {{"render", "x/a.wav", "b.wav", "-o", "file.wav"}, "'file.wav' as the output folder: Not a directory", 1},
      {{"render", "x/a.wav", "-o", "file.wav/"}, "Not a directory", 1},
      {{"render", "x/a.wav", "b.wav", "-o", "file.wav/sub"}, "Not a directory", 1},
      {{"render", "x/a.wav", "b.wav", "-o", "out", "--album", "--target-lufs", "-14", "--shard", "1/2"},
       "one album gain needs every track", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[c.args.size() - 1]);
    const CommandResult r = plumbrook(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("out")));
    EXPECT_EQ(fileBytes(path("file.wav")), "not a folder");
  }

  // A folder the user may not write in. Root may write anywhere, so as root the tool runs as nobody.
  namespace fs = std::filesystem;
  fs::create_directories(dir() / "locked");
  fs::permissions(dir() / "locked", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::permissions(dir(), fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::add);
  Command locked = command({"render", "x/a.wav", "b.wav", "-o", "locked"});
  if (geteuid() == 0) {
    if (!haveTool("setpriv")) GTEST_SKIP() << "setpriv is needed to run the tool as an ordinary user";
    locked.args.insert(locked.args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", locked.program});
    locked.program = "setpriv";
  }
  const CommandResult r = run(locked);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("cannot write in the output folder 'locked': Permission denied"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(dir() / "locked"));
}

TEST_F(Release, a_failure_among_many_is_named_and_the_others_are_mastered) {
  for (const char* name : {"one.wav", "three.wav"})
    ASSERT_TRUE(writeAudio(path(name), program(2, 48000, 1.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  std::ofstream(path("garbage.wav")) << "this is no audio file";
  std::filesystem::create_directories(dir() / "out");
  std::ofstream(path("out/three.wav")) << "an earlier master";
  const CommandResult r = plumbrook({"render", "one.wav", "missing.wav", "garbage.wav", "three.wav", "-o", "out", "-j",
                                     "2", "--report", "--report-json", "r.json"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("garbage.wav"), std::string::npos) << r.err;
  EXPECT_EQ(namesIn(dir() / "out"), (std::vector<std::string>{"one.wav", "three.wav"}));
  EXPECT_GT(readAudio(path("out/three.wav")).frames(), 0);  // replaced, as without --skip-existing
  const std::string json = fileBytes(path("r.json"));
  EXPECT_EQ(allOf(json, R"re("status": "(\w+)")re"), (std::vector<std::string>{"ok", "failed", "failed", "ok"})) << json;
  // The summary has a row per file with its status.
  EXPECT_EQ(allOf(r.out, R"(\n(\S+\.wav) )").size(), 4u) << r.out;
  EXPECT_NE(r.out.find("failed: cannot read"), std::string::npos) << r.out;

  std::ofstream(path("out/three.wav")) << "an earlier master";
  const CommandResult skip = plumbrook({"render", "one.wav", "three.wav", "-o", "out", "--skip-existing",
                                        "--report-json", "r.json"});
  EXPECT_EQ(skip.status, 0) << skip.err;
  EXPECT_EQ(fileBytes(path("out/three.wav")), "an earlier master");
  EXPECT_EQ(allOf(fileBytes(path("r.json")), R"re("status": "(\w+)")re"), (std::vector<std::string>{"skipped", "skipped"}));
}

TEST_F(Release, parallel_jobs_write_the_same_bytes_as_one_job) {
  std::vector<std::string> args = {"render"};
  for (int i = 0; i < 4; ++i) {
    const std::string name = "t" + std::to_string(i) + ".wav";
    ASSERT_TRUE(writeAudio(path(name), program(2, 44100, 1.5, 0.2 + 0.2 * i, 30 + i), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    args.push_back(name);
  }
  args.insert(args.end(), {"--target-lufs", "-12", "--bits", "16", "-o"});
  std::vector<std::string> serial = args, parallel = args;
  serial.insert(serial.end(), {"serial", "-j", "1"});
  parallel.insert(parallel.end(), {"parallel", "-j", "4"});
  ASSERT_EQ(plumbrook(serial).status, 0);
  ASSERT_EQ(plumbrook(parallel).status, 0);
  ASSERT_EQ(namesIn(dir() / "serial").size(), 4u);
  for (const std::string& name : namesIn(dir() / "serial")) {
    SCOPED_TRACE(name);
    EXPECT_EQ(fileBytes(path("parallel/" + name)), fileBytes(path("serial/" + name)));
  }
}

TEST_F(Release, album_gain_brings_the_release_to_the_target_and_keeps_the_balance) {
  // Three songs about 6 dB apart; one gain for all must land the album, not each song. With the
  // glue at zero the chain below the limiter is linear, so the balance must come out unchanged.
  const std::vector<std::string> names = {"quiet.wav", "middle.wav", "loud.wav"};
  std::vector<Audio> inputs;
  for (size_t i = 0; i < names.size(); ++i) {
    inputs.push_back(program(2, 48000, 3.0 + static_cast<double>(i), 0.05 * std::pow(2.0, static_cast<double>(i)),
                             40 + static_cast<uint32_t>(i)));
    ASSERT_TRUE(writeAudio(path(names[i]), inputs.back(), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  }
  const CommandResult r = plumbrook({"render", "quiet.wav", "middle.wav", "loud.wav", "-o", "out", "--album",
                                     "--target-lufs", "-20", "--set", "amount=0", "-j", "2", "--report-json", "r.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Audio> masters;
  for (const std::string& name : names) masters.push_back(readAudio(path("out/" + name)));
  const double album = albumLufs(masters);
  EXPECT_NEAR(album, -20.0, 0.1);
  std::printf("album loudness %.3f LUFS for a -20 LUFS target (error %+.3f LU)\n", album, album + 20.0);
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    const double before = integratedLufs(inputs[i + 1]) - integratedLufs(inputs[i]);
    const double after = integratedLufs(masters[i + 1]) - integratedLufs(masters[i]);
    EXPECT_NEAR(after, before, 0.05) << names[i] << " to " << names[i + 1];
  }
  const std::string json = fileBytes(path("r.json"));
  const std::vector<std::string> gains = allOf(json, R"("album": \{[^}]*"gain_db": (-?[0-9.]+))");
  ASSERT_EQ(gains.size(), 3u) << json;
  EXPECT_EQ(std::set<std::string>(gains.begin(), gains.end()).size(), 1u) << json;
  EXPECT_NEAR(std::stod(allOf(json, R"("after_lufs": (-?[0-9.]+))").front()), album, 0.05) << json;

  // One gain needs one rate.
  ASSERT_TRUE(writeAudio(path("other.wav"), program(2, 44100, 2.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  const CommandResult rates =
      plumbrook({"render", "quiet.wav", "other.wav", "-o", "mixed", "--album", "--target-lufs", "-20"});
  EXPECT_EQ(rates.status, 2);
  EXPECT_NE(rates.err.find("one album gain needs one rate"), std::string::npos) << rates.err;
  EXPECT_TRUE(namesIn(dir() / "mixed").empty());
}

// The amplitude of one sine in a whole number of its periods, by correlation.
double amplitudeAt(const std::vector<double>& x, size_t from, size_t count, double frequency, double rate) {
  double c = 0.0, s = 0.0;
  for (size_t i = from; i < from + count; ++i) {
    const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
    c += x[i] * std::cos(phase);
    s += x[i] * std::sin(phase);
  }
  return 2.0 * std::hypot(c, s) / static_cast<double>(count);
}

TEST_F(Release, conversion_from_96_to_44_1_khz_is_flat_to_20_khz_and_leaves_no_alias) {
  const double frequencies[] = {100.0, 1000.0, 5000.0, 10000.0, 15000.0, 20000.0, 30000.0};
  std::vector<std::string> args = {"render"};
  for (const double f : frequencies) {
    const std::string name = "tone" + std::to_string(static_cast<int>(f)) + ".wav";
    ASSERT_TRUE(writeAudio(path(name), makeAudio({sine(f, 96000, 2 * 96000, 0.5)}, 96000), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    args.push_back(name);
  }
  args.insert(args.end(), {"-o", "out", "--rate", "44100", "--set", "bypass=on", "--bits", "double", "--report-json", "r.json"});
  const CommandResult r = plumbrook(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(allOf(fileBytes(path("r.json")), R"re("converted_from_rate": (\d+))re"), std::vector<std::string>(7, "96000"));
  for (const double f : frequencies) {
    SCOPED_TRACE(f);
    const Audio out = readAudio(path("out/tone" + std::to_string(static_cast<int>(f)) + ".wav"));
    ASSERT_EQ(out.sampleRate, 44100);
    ASSERT_NEAR(static_cast<double>(out.frames()), 2.0 * 44100, 1.0);
    if (f < 22050.0) {
      EXPECT_NEAR(20.0 * std::log10(amplitudeAt(out.samples, 22050, 44100, f, 44100) / 0.5), 0.0, 0.01);
    } else {
      // Measured where the tone is steady: its start and end are clicks with energy at every frequency.
      const std::vector<double> steady(out.samples.begin() + 22050, out.samples.begin() + 66150);
      EXPECT_LT(20.0 * std::log10(peak(steady)), -120.0);
    }
  }
}

TEST_F(Release, delivery_profiles_are_listed_and_set_rate_bits_and_ceiling_under_explicit_options) {
  const CommandResult list = plumbrook({"profiles"});
  ASSERT_EQ(list.status, 0);
  for (const char* name : {"streaming", "apple", "broadcast", "cd"}) EXPECT_NE(list.out.find(name), std::string::npos);
  const Audio hot = program(2, 96000, 3.0, 1.4, 9);
  ASSERT_TRUE(writeAudio(path("hot.wav"), hot, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  const CommandResult cd = plumbrook({"render", "hot.wav", "-o", "cd.wav", "--profile", "cd"});
  ASSERT_EQ(cd.status, 0) << cd.err;
  const Audio master = readAudio(path("cd.wav"));
  EXPECT_EQ(master.sampleRate, 44100);
  EXPECT_EQ(master.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_LT(truePeakDb(master), -0.3 + 0.2);
  const CommandResult streaming =
      plumbrook({"render", "hot.wav", "-o", "s.wav", "--profile", "streaming", "--bits", "24", "--set", "ceiling=-2"});
  ASSERT_EQ(streaming.status, 0) << streaming.err;
  const Audio s = readAudio(path("s.wav"));
  EXPECT_EQ(s.sampleRate, 96000);
  EXPECT_EQ(s.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  EXPECT_NEAR(integratedLufs(s), -14.0, 0.1);
  EXPECT_LT(truePeakDb(s), -2.0 + 0.2);
  const CommandResult unknown = plumbrook({"render", "hot.wav", "-o", "u.wav", "--profile", "vinyl"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("known: streaming, apple, broadcast, cd"), std::string::npos) << unknown.err;
}

TEST_F(Release, shards_run_by_gnu_parallel_master_each_file_exactly_once) {
  if (!haveTool("parallel")) GTEST_SKIP() << "GNU parallel is not installed";
  std::ofstream list(path("list.txt"));
  for (int i = 0; i < 7; ++i) {
    const std::string name = "s" + std::to_string(i) + ".wav";
    ASSERT_TRUE(writeAudio(path(name), program(1, 44100, 0.5, 0.5, 60 + i), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    list << name << "\n";
  }
  list.close();
  Command c = command({"--will-cite", "-j", "3", plumbrookPath(), "render", "--inputs-from", "list.txt", "--shard",
                       "{}/3", "-o", "out", "--report-json", "shard{}.json", ":::", "1",
                       "2", "3"});
  c.program = "parallel";
  const CommandResult r = run(c);
  ASSERT_EQ(r.status, 0) << r.err;
  std::multiset<std::string> written;
  for (int k = 1; k <= 3; ++k)
    for (const std::string& out : allOf(fileBytes(path("shard" + std::to_string(k) + ".json")), R"re("output": "([^"]+)")re"))
      written.insert(std::filesystem::path(out).filename().string());
  const std::multiset<std::string> all = {"s0.wav", "s1.wav", "s2.wav", "s3.wav", "s4.wav", "s5.wav", "s6.wav"};
  EXPECT_EQ(written, all);
  const std::vector<std::string> inFolder = namesIn(dir() / "out");
  EXPECT_EQ(std::multiset<std::string>(inFolder.begin(), inFolder.end()), all);
}

TEST_F(Release, interrupted_parallel_run_leaves_no_partial_or_half_written_master) {
  std::vector<std::string> args = {"render"};
  for (int i = 0; i < 3; ++i) {
    const std::string name = "long" + std::to_string(i) + ".wav";
    ASSERT_TRUE(writeAudio(path(name), program(2, 48000, 30.0 + 10.0 * i, 0.5), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    args.push_back(name);
  }
  args.insert(args.end(), {"-o", "out", "-j", "3"});
  const pid_t pid = start(command(args));
  ASSERT_GT(pid, 0);
  int writing = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (writing < 2 && std::chrono::steady_clock::now() < deadline) {
    writing = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir() / "out", ec))
      if (entry.path().filename().string().find("partial") != std::string::npos && entry.file_size(ec) > 1000000)
        ++writing;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(pid, SIGINT);
  EXPECT_EQ(finish(pid), 128 + SIGINT);
  ASSERT_GE(writing, 2) << "the jobs never wrote side by side";
  for (const std::string& name : namesIn(dir() / "out")) {
    EXPECT_EQ(name.find("partial"), std::string::npos) << name;
    // A master that made it is whole.
    EXPECT_EQ(readAudio(path("out/" + name)).frames(), readAudio(path(name)).frames()) << name;
  }
}

}  // namespace
}  // namespace plumbrook::test
