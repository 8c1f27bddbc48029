// The bundle's editor inside jalv.gtk3, a real LV2 host, under a private Xvfb with a JACK server
// on its dummy back end (so the host runs audio): the editor is embedded in jalv's window, draws
// what the headless snapshot draws with the controls jalv was started with, and a mouse drag on
// GAIN reaches the control port that jalv saves in its state.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/lv2/lv2_ports.h"
#include "tests/platform/lv2_test_host.h"
#include "tests/support/command_runner.h"
#include "tests/support/picture_match.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/xvfb.h"

namespace fs = std::filesystem;
using plumbrook::test::CommandResult;
using plumbrook::test::haveTool;
using plumbrook::test::run;

namespace {

CommandResult xdotool(std::vector<std::string> args) { return run({"xdotool", std::move(args), {}, "", ""}); }

// The first mapped window whose name matches `pattern`, or empty.
std::string findWindow(const std::string& pattern) {
  const CommandResult found = xdotool({"search", "--onlyvisible", "--name", pattern});
  return found.status == 0 && !found.out.empty() ? found.out.substr(0, found.out.find('\n')) : std::string();
}

// The first such window, waiting up to `seconds`; empty when none came.
std::string waitForWindow(const std::string& pattern, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    std::string window = findWindow(pattern);
    if (!window.empty()) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

std::string contentsOf(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value jalv saved for a control port in a state.ttl.
double savedValue(const fs::path& stateTtl, const std::string& symbol) {
  std::smatch match;
  const std::string content = contentsOf(stateTtl);
  const std::regex pattern("lv2:symbol \"" + symbol + "\" ;\\s*pset:value ([-+0-9.eE]+)");
  if (!std::regex_search(content, match, pattern)) return std::nan("");
  return std::stod(match[1]);
}

class jalv : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!haveTool("jalv.gtk3") || !haveTool("jackd") || !haveTool("xdotool")) return;
    xvfb_ = new plumbrook::test::Xvfb("1920x1200x24");  // room for the editor at twice its size
    if (!xvfb_->Valid()) return;
    jackName_ = "plumbrook-test-" + std::to_string(::getpid());
    jackd_ = plumbrook::test::start({"jackd",
                                     {"-n", jackName_, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"},
                                     {{"JACK_NO_AUDIO_RESERVATION", "1"}}, "", ""});
    const CommandResult ready = run({"jack_wait", {"-s", jackName_, "-w", "-t", "60"}, {}, "", ""});
    if (ready.status != 0) jackName_.clear();
  }
  static void TearDownTestSuite() {
    if (jackd_ > 0) {
      ::kill(jackd_, SIGTERM);
      plumbrook::test::finish(jackd_);
    }
    delete xvfb_;
  }

  void SetUp() override {
    if (!xvfb_ || !xvfb_->Valid() || jackName_.empty()) GTEST_SKIP() << "needs jalv.gtk3, jackd, xdotool and Xvfb";
  }
  void TearDown() override {
    if (jalv_ > 0) {
      ::kill(jalv_, SIGTERM);
      plumbrook::test::finish(jalv_);
    }
  }

  // Starts jalv.gtk3 on the stereo plug-in with `controls` ("symbol=value") and waits until it is
  // ready: its JACK client has its ports, its window and the editor's are mapped, and the editor
  // has drawn (its window shows both the editor's dark panels and its bright text, not a blank
  // window of either jalv's or X's background). On a loaded
  // machine that can take long; the ceiling only ends a start that will never come, and the
  // failure shows what jalv printed.
  ::testing::AssertionResult startJalv(const std::vector<std::string>& controls) {
    std::vector<std::string> args{"--jack-name", "plumbrook", "-x"};
    for (const std::string& c : controls) args.insert(args.end(), {"-c", c});
    args.emplace_back(plumbrook::lv2::kStereoUri);
    jalv_ = plumbrook::test::start({"jalv.gtk3", args,
                                    {{"LV2_PATH", plumbrook::test::lv2BundleParent()},
                                     {"JACK_DEFAULT_SERVER", jackName_},
                                     {"JACK_NO_START_SERVER", "1"},
                                     {"HOME", dir_.string()}},
                                    "", dir_.string()},
                                   (dir_ / "jalv.log").string());
    const auto start = std::chrono::steady_clock::now();
    bool clientUp = false;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
      if (!plumbrook::test::stillRunning(jalv_)) {
        jalv_ = -1;
        return ::testing::AssertionFailure() << "jalv ended while starting; it printed:\n" << contentsOf(dir_ / "jalv.log");
      }
      if (!clientUp)
        clientUp = run({"jack_lsp", {"-s", jackName_}, {}, "", ""}).out.find("plumbrook:") != std::string::npos;
      if (clientUp && editor_.empty()) editor_ = findWindow("^Plumbrook$");
      if (clientUp && host_.empty()) host_ = findWindow("^Plumbrook Stereo$");
      if (!editor_.empty() && !host_.empty() && editorHasDrawn()) return ::testing::AssertionSuccess();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return ::testing::AssertionFailure() << "jalv not ready after 120 s (JACK client " << (clientUp ? "up" : "missing")
                                         << ", editor window " << (editor_.empty() ? "missing" : editor_)
                                         << ", jalv window " << (host_.empty() ? "missing" : host_)
                                         << ", editor " << (editorHasDrawn() ? "drawn" : "not drawn")
                                         << "); it printed:\n" << contentsOf(dir_ / "jalv.log");
  }

  bool editorHasDrawn() {
    if (editor_.empty()) return false;
    const std::string file = (dir_ / "drawn.png").string();
    if (run({"import", {"-window", editor_, file}, {}, "", ""}).status != 0) return false;
    const CommandResult range =
        run({"convert", {file, "-colorspace", "Gray", "-format", "%[fx:minima] %[fx:maxima]", "info:"}, {}, "", ""});
    double darkest = 1.0, brightest = 0.0;
    return range.status == 0 && std::sscanf(range.out.c_str(), "%lf %lf", &darkest, &brightest) == 2 &&
           darkest < 0.1 && brightest > 0.5;
  }

  // A picture of the editor's window as the X server shows it.
  std::string screenshot(const std::string& name) {
    const std::string file = (dir_ / name).string();
    EXPECT_EQ(run({"import", {"-window", editor_, file}, {}, "", ""}).status, 0);
    return file;
  }

  std::string snapshot(const std::string& name, const std::vector<std::string>& settings) {
    const std::string file = (dir_ / name).string();
    std::vector<std::string> args{"snapshot", "-o", file};
    args.insert(args.end(), settings.begin(), settings.end());
    const CommandResult made = run({plumbrook::test::plumbrookPath(), args, {}, "", dir_.string()});
    EXPECT_EQ(made.status, 0) << made.err;
    return file;
  }

  // Saves jalv's state through its File menu's Save (Ctrl+S in its window) into `folder`.
  fs::path saveState(const fs::path& folder) {
    xdotool({"mousemove", "--window", host_, "400", "12"});
    xdotool({"windowfocus", "--sync", host_});  // the editor took the focus with the click
    xdotool({"key", "ctrl+s"});
    const std::string dialog = waitForWindow("^Save State$", 10.0);
    if (dialog.empty()) return {};
    xdotool({"mousemove", "--window", dialog, "500", "25", "click", "1"});
    xdotool({"type", "--delay", "10", folder.string()});
    const fs::path state = folder / "state.ttl";
    // The first Return may only close the name completion.
    for (int attempt = 0; attempt < 5 && !fs::exists(state); ++attempt) {
      xdotool({"key", "Return"});
      for (int i = 0; i < 20 && !fs::exists(state); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // written in full
    return fs::exists(state) ? state : fs::path();
  }

  static plumbrook::test::Xvfb* xvfb_;
  static std::string jackName_;
  static pid_t jackd_;
  plumbrook::test::ScratchDir scratch_;
  fs::path dir_ = scratch_.path();
  pid_t jalv_ = -1;
  std::string editor_;
  std::string host_;
};

plumbrook::test::Xvfb* jalv::xvfb_ = nullptr;
std::string jalv::jackName_;
pid_t jalv::jackd_ = -1;

// GAIN's knob and its caption, at scale 1.
constexpr plumbrook::test::PictureRegion kGainRegion{76, 200, 80, 110};

}  // namespace

TEST_F(jalv, embeds_the_editor_which_draws_the_controls_jalv_was_started_with) {
  ASSERT_TRUE(startJalv({"gain=6", "true_peak=1"}));
  const CommandResult tree = run({"xwininfo", {"-id", editor_, "-tree"}, {}, "", ""});
  ASSERT_EQ(tree.status, 0);
  const std::string parent = tree.out.substr(tree.out.find("Parent window id:"));
  EXPECT_EQ(parent.substr(0, parent.find('\n')).find("(the root window)"), std::string::npos) << "not embedded:\n"
                                                                                             << tree.out;

  const std::string shot = screenshot("jalv.png");
  EXPECT_TRUE(plumbrook::test::picturesMatch(shot, snapshot("expected.png", {"--set", "gain=6", "--set", "true_peak=on"}),
                                             "jalv.png"));
  // GAIN's caption shows jalv's value: the same region of a picture at the default gain differs.
  EXPECT_TRUE(plumbrook::test::picturesMatch(shot, (dir_ / "expected.png").string(), "jalv-gain.png", kGainRegion));
  EXPECT_FALSE(plumbrook::test::picturesMatch(shot, snapshot("default.png", {"--set", "true_peak=on"}),
                                              "jalv-default-gain.png", kGainRegion));
}

TEST_F(jalv, a_drag_on_gain_reaches_the_control_port_jalv_saves) {
  ASSERT_TRUE(startJalv({}));
  xdotool({"mousemove", "--window", editor_, "116", "244", "mousedown", "1"});
  for (int step = 1; step <= 4; ++step) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    xdotool({"mousemove", "--window", editor_, "116", std::to_string(244 - 10 * step)});
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  xdotool({"mouseup", "1"});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  const fs::path state = saveState(dir_ / "saved");
  ASSERT_FALSE(state.empty()) << "jalv saved no state";
  const double gain = savedValue(state, "gain");
  EXPECT_GT(gain, 1.0);
  EXPECT_LT(gain, 24.0);  // 40 pixels move GAIN part of its way
  EXPECT_NEAR(savedValue(state, "ceiling"), -0.3, 1e-6);  // the rest as it was
}

// As a user meets the editor in jalv: "Window 1.5x" from its menu grows the editor's window and
// jalv's with the picture; clicks land where the picture is drawn at the new scale; a shade
// switched on and off again leaves no dimmed panel; a typed preset name keeps its single space.
TEST_F(jalv, the_window_follows_the_editor_and_clicks_shades_and_typing_behave_at_the_new_scale) {
  ASSERT_TRUE(startJalv({}));
  const auto click = [this](double x, double y) {
    xdotool({"mousemove", "--window", editor_, std::to_string(std::lround(x)), std::to_string(std::lround(y)), "click", "1"});
  };
  using plumbrook::test::windowGeometry;
  // Waits for the editor's window to show `expected`, then compares once more for the record.
  const auto shows = [this](const std::string& expected, const std::string& name) {
    ::testing::AssertionResult match = ::testing::AssertionFailure();
    for (int i = 0; i < 50 && !match; ++i) {
      if (i) std::this_thread::sleep_for(std::chrono::milliseconds(200));
      match = plumbrook::test::picturesMatch(screenshot(name + ".png"), expected, name + ".png");
    }
    return match;
  };

  click(846, 16);  // the settings menu, then "Window 1.5x"
  std::vector<std::string> keys{"key", "--delay", "30"};
  for (int i = 0; i < 9; ++i) keys.push_back("Down");
  keys.push_back("Return");
  xdotool(keys);
  int hostW = 0, hostH = 0;
  const auto hostHolds = [&] {
    return std::sscanf(windowGeometry(host_).c_str(), "%dx%d", &hostW, &hostH) == 2 && hostW >= 1320 && hostH >= 573;
  };
  for (int i = 0; i < 50 && !(windowGeometry(editor_) == "1320x573" && hostHolds()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(windowGeometry(editor_), "1320x573");
  ASSERT_TRUE(hostHolds()) << "jalv's window stayed " << hostW << "x" << hostH << ": the editor is cropped";

  const double s = 1.5;
  click(798 * s, 62 * s);  // Bypass on: the panels dim
  xdotool({"mousemove", "0", "0"});  // the pointer off the editor: no hover highlight
  EXPECT_TRUE(shows(snapshot("bypassed.png", {"--scale", "1.5", "--set", "bypass=on"}), "jalv-bypassed"));
  click(798 * s, 62 * s);  // and off again
  xdotool({"mousemove", "0", "0"});
  EXPECT_TRUE(shows(snapshot("active.png", {"--scale", "1.5"}), "jalv-active"));

  click(398 * s, 16 * s);  // "Save as", a name typed with a space
  xdotool({"type", "--delay", "30", "Warm Master"});
  xdotool({"key", "Return"});
  std::string listed;
  for (int i = 0; i < 25 && listed.find("Warm") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    listed = run({plumbrook::test::plumbrookPath(), {"presets", "list"}, {{"HOME", dir_.string()}}, "", ""}).out;
  }
  EXPECT_NE(listed.find("Warm Master"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("Warm  Master"), std::string::npos) << listed;
}
