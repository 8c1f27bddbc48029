// plumbrook render on real files: formats, rates, channels, length, metadata, pipes.
#include <sndfile.h>

#include <cmath>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <thread>

#include <fstream>

#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

using RenderFiles = CliTest;

struct FileCase {
  const char* name;
  int format;
  int rate;
  int channels;
};

TEST_F(RenderFiles, output_keeps_format_rate_channels_and_length) {
  const FileCase cases[] = {
      {"in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1},
      {"in24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96000, 2},
      {"in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2},
      {"in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 48000, 1},
      {"in.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_32, 22050, 2},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    Audio in = program(c.channels, c.rate, 1.3);
    in.samples.resize(in.samples.size() - static_cast<size_t>(c.channels) * 17);  // not a block multiple
    ASSERT_TRUE(writeAudio(path(c.name), in, c.format));
    const std::string out = std::string("out-") + c.name;
    const CommandResult r = plumbrook({"render", c.name, "-o", out, "--set", "lookahead=on", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Audio got = readAudio(path(out));
    EXPECT_EQ(got.format, c.format);
    EXPECT_EQ(got.sampleRate, c.rate);
    EXPECT_EQ(got.channels, c.channels);
    EXPECT_EQ(got.frames(), in.frames());
  }
}

TEST_F(RenderFiles, bypassed_render_gives_back_every_sample_unchanged) {
  // With Bypass on the chain hands back its latency-aligned dry signal: after compensation
  // an integer file comes back bit for bit, which checks alignment and rounding at once.
  for (const int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24}) {
    SCOPED_TRACE(format);
    const Audio in = program(2, 48000, 1.0, 0.99);
    ASSERT_TRUE(writeAudio(path("in"), in, format));
    const CommandResult r =
        plumbrook({"render", "in", "-o", "out", "--set", "bypass=on", "--set", "true_peak=on", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio a = readAudio(path("in"));
    const Audio b = readAudio(path("out"));
    ASSERT_EQ(a.frames(), b.frames());
    size_t differing = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) differing += a.samples[i] != b.samples[i];
    EXPECT_EQ(differing, 0u);
  }
}

TEST_F(RenderFiles, format_and_resolution_follow_options_and_extension) {
  ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 44100, 0.5), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  struct Want {
    std::vector<std::string> args;
    const char* out;
    int format;
  };
  const Want wants[] = {
      {{"--bits", "16"}, "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {{}, "b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},  // FLAC holds no float: 24-bit
      {{"--format", "aiff", "--bits", "24"}, "c.out", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {{"--bits", "double"}, "d.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
      {{}, "e.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT},
      // An MP3 (written by the tool's own encoder) masters to each format's natural encoding.
      {{}, "ref.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
      {{"ref.mp3"}, "f.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {{"ref.mp3"}, "g.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {{"ref.mp3"}, "h.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {{"ref.mp3", "--bits", "16"}, "i.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
  };
  for (const Want& w : wants) {
    SCOPED_TRACE(w.out);
    // A first argument that is not an option names the input instead of in.wav.
    const bool ownInput = !w.args.empty() && w.args.front()[0] != '-';
    std::vector<std::string> args = {"render", ownInput ? w.args.front() : "in.wav", "-o", w.out, "-q"};
    args.insert(args.end(), w.args.begin() + (ownInput ? 1 : 0), w.args.end());
    const CommandResult r = plumbrook(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio got = readAudio(path(w.out));
    EXPECT_EQ(got.format, w.format);
    if (!ownInput) {
      EXPECT_EQ(got.frames(), static_cast<int64_t>(0.5 * 44100));
    }
  }
}

TEST_F(RenderFiles, metadata_is_copied) {
  const Audio in = program(2, 48000, 0.5);
  {
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 48000;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(path("tagged.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_set_string(file, SF_STR_TITLE, "Night Drive");
    sf_set_string(file, SF_STR_ARTIST, "The Testers");
    sf_set_string(file, SF_STR_COMMENT, "first mix");
    SF_BROADCAST_INFO bext{};
    std::strcpy(bext.description, "take 3");
    std::strcpy(bext.originator, "studio b");
    bext.time_reference_low = 123456;
    ASSERT_EQ(sf_command(file, SFC_SET_BROADCAST_INFO, &bext, sizeof bext), SF_TRUE);
    SF_CUES_VAR(2) cues{};
    cues.cue_count = 2;
    cues.cue_points[0] = {1, 0, 0x61746164, 0, 0, 1000, "verse"};
    cues.cue_points[1] = {2, 0, 0x61746164, 0, 0, 20000, "chorus"};
    ASSERT_EQ(sf_command(file, SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
    sf_writef_double(file, in.samples.data(), in.frames());
    sf_close(file);
  }
  const CommandResult r = plumbrook({"render", "tagged.wav", "-o", "out.wav", "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  SF_INFO info{};
  SNDFILE* file = sf_open(path("out.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_STREQ(sf_get_string(file, SF_STR_TITLE), "Night Drive");
  EXPECT_STREQ(sf_get_string(file, SF_STR_ARTIST), "The Testers");
  EXPECT_STREQ(sf_get_string(file, SF_STR_COMMENT), "first mix");
  SF_BROADCAST_INFO bext{};
  ASSERT_EQ(sf_command(file, SFC_GET_BROADCAST_INFO, &bext, sizeof bext), SF_TRUE);
  EXPECT_STREQ(bext.description, "take 3");
  EXPECT_EQ(bext.time_reference_low, 123456u);
  SF_CUES_VAR(8) cues{};
  ASSERT_EQ(sf_command(file, SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
  ASSERT_EQ(cues.cue_count, 2u);
  EXPECT_EQ(cues.cue_points[0].sample_offset, 1000u);
  EXPECT_EQ(cues.cue_points[1].sample_offset, 20000u);
  sf_close(file);
}

TEST_F(RenderFiles, runs_in_a_pipe_from_standard_input_to_standard_output) {
  const Audio in = program(2, 44100, 0.8);
  ASSERT_TRUE(writeAudio(path("in.wav"), in, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  const CommandResult r = plumbrook({"render", "-", "-o", "-", "--set", "lookahead=on"}, fileBytes(path("in.wav")));
  ASSERT_EQ(r.status, 0) << r.err;
  const Audio got = readAudioBytes(r.out);
  EXPECT_EQ(got.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(got.channels, 2);
  EXPECT_EQ(got.sampleRate, 44100);
  EXPECT_EQ(got.frames(), in.frames());
  // Nothing but audio on standard output, even with the report requested.
  const CommandResult reported = plumbrook({"render", "-", "-o", "-", "--report"}, fileBytes(path("in.wav")));
  ASSERT_EQ(reported.status, 0) << reported.err;
  EXPECT_EQ(readAudioBytes(reported.out).frames(), in.frames());
  EXPECT_NE(reported.err.find("LUFS"), std::string::npos);

  // A named pipe (as a shell's <(command) gives) is read as standard input is: streamed, or
  // spooled where the loudness search needs several passes.
  for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"--target-lufs", "-16"}}) {
    SCOPED_TRACE(extra.size());
    std::filesystem::remove(path("in.fifo"));
    ASSERT_EQ(mkfifo(path("in.fifo").c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(path("in.fifo"), std::ios::binary) << fileBytes(path("in.wav")); });
    std::vector<std::string> args = {"render", "in.fifo", "-o", "fifo.wav", "-q"};
    args.insert(args.end(), extra.begin(), extra.end());
    const CommandResult fromPipe = plumbrook(args);
    writer.join();
    ASSERT_EQ(fromPipe.status, 0) << fromPipe.err;
    EXPECT_EQ(readAudio(path("fifo.wav")).frames(), in.frames());
  }
}

TEST_F(RenderFiles, devices_pipes_and_links_are_written_through_not_replaced) {
  const Audio in = program(1, 44100, 0.7);
  ASSERT_TRUE(writeAudio(path("in.wav"), in, SF_FORMAT_WAV | SF_FORMAT_PCM_16));

  // A pipe gets the whole file and stays a pipe.
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
  std::string piped;
  std::thread reader([&] { piped = fileBytes(path("pipe")); });
  const CommandResult r = plumbrook({"render", "in.wav", "-o", "pipe", "-q"});
  reader.join();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_fifo(path("pipe")));
  EXPECT_EQ(readAudioBytes(piped).frames(), in.frames());

  // A link keeps pointing at its file, which gets the master.
  std::ofstream(path("target.wav")) << "old";
  std::filesystem::create_symlink("target.wav", path("link.wav"));
  ASSERT_EQ(plumbrook({"render", "in.wav", "-o", "link.wav", "-q", "--report-json", "link.wav.json"}).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(path("link.wav")));
  EXPECT_EQ(readAudio(path("target.wav")).frames(), in.frames());
  EXPECT_NE(fileBytes(path("link.wav.json")).find("\"output_link_target\": \"" + std::filesystem::canonical(path("target.wav")).string() + "\""),
            std::string::npos) << "the report says where the link led";

  // A device node of the null device (made here, so a fault cannot harm the system's own).
  if (mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    const CommandResult toNull = plumbrook({"render", "in.wav", "-o", "null", "--report-json", "null"});
    EXPECT_EQ(toNull.status, 0) << toNull.err;
    EXPECT_TRUE(std::filesystem::is_character_file(path("null")));
  }
  for (const std::string& name : files()) EXPECT_EQ(name.find("partial"), std::string::npos) << name;
}

TEST_F(RenderFiles, demo_needs_no_input_and_lands_in_the_working_directory) {
  const CommandResult r = plumbrook({"render"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("plumbrook-demo.wav"), std::string::npos);
  const Audio demo = readAudio(path("plumbrook-demo.wav"));
  EXPECT_EQ(demo.channels, 2);
  EXPECT_EQ(demo.sampleRate, 48000);
  EXPECT_EQ(demo.frames(), 20 * 48000);
  EXPECT_GT(integratedLufs(demo), -20.0);
}

}  // namespace
}  // namespace plumbrook::test
