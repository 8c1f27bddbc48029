// The bundle's editor UI in a small X11 host of our own on liblilv, under a private Xvfb with real
// X events: gestures become touch grabs around port writes, Limiter Link moves both ports, the
// host's resizes set the draw scale, host changes are not echoed, and the UI opens and closes
// many times while audio runs.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plugin/plumbrook.h"
#include "platform/lv2/lv2_bridge.h"
#include "platform/lv2/lv2_ports.h"
#include "tests/support/x11_host_window.h"
#include "tests/platform/lv2_test_host.h"
#include "tests/support/command_runner.h"
#include "tests/support/xvfb.h"

using plumbrook::test::Lv2Instance;
using plumbrook::test::Lv2World;

namespace {

// What the UI told its host.
struct HostRecord {
  struct Event {
    enum Kind { kGrab, kRelease, kWrite } kind;
    uint32_t port;
    float value;
  };
  std::vector<Event> events;
  std::vector<std::pair<int, int>> sizes;
  Lv2Instance* instance = nullptr;
  // With audio on its own thread, port values wait here for the next block, as in a real host.
  bool audioOnItsOwnThread = false;
  std::mutex pendingMutex;
  std::vector<std::pair<uint32_t, float>> pending;

  void setPort(uint32_t port, float value) {
    if (!audioOnItsOwnThread) {
      instance->setControlPort(port, value);
      return;
    }
    const std::lock_guard<std::mutex> lock(pendingMutex);
    pending.emplace_back(port, value);
  }
  // On the audio thread, before a block.
  void applyPending() {
    const std::lock_guard<std::mutex> lock(pendingMutex);
    for (const auto& [port, value] : pending) instance->setControlPort(port, value);
    pending.clear();
  }
};

void writeFunction(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  auto* host = static_cast<HostRecord*>(controller);
  if (format != 0 || size != sizeof(float)) return;
  const float value = *static_cast<const float*>(buffer);
  host->events.push_back({HostRecord::Event::kWrite, port, value});
  host->setPort(port, value);  // as a host does: the port takes the value
}

void touchFunction(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
  static_cast<HostRecord*>(handle)->events.push_back(
      {grabbed ? HostRecord::Event::kGrab : HostRecord::Event::kRelease, port, 0.0f});
}

int resizeFunction(LV2UI_Feature_Handle handle, int width, int height) {
  static_cast<HostRecord*>(handle)->sizes.emplace_back(width, height);
  return 0;
}

// The plug-in's UI loaded the way a host loads it: found through lilv, from its own binary. A
// careless host may give the features in `withoutData` with null data. A host scale factor
// comes as the ui:scaleFactor option.
class LoadedUi {
 public:
  LoadedUi(Lv2Instance& instance, HostRecord& record, std::uintptr_t parent,
           const std::vector<std::string>& withoutData = {}, Lv2World* world = nullptr, float scaleFactor = 0.f)
      : record_(record) {
    LilvUIs* uis = lilv_plugin_get_uis(instance.lilvPlugin());
    LILV_FOREACH(uis, i, uis) {
      const LilvUI* ui = lilv_uis_get(uis, i);
      bundle_ = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(ui)), nullptr);
      char* binary = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
      library_ = dlopen(binary, RTLD_NOW | RTLD_LOCAL);
      lilv_free(binary);
    }
    lilv_uis_free(uis);
    if (!library_) return;
    const auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library_, "lv2ui_descriptor"));
    descriptor_ = entry ? entry(0) : nullptr;
    if (!descriptor_) return;
    touch_ = {&record_, touchFunction};
    resize_ = {&record_, resizeFunction};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature instanceFeature{LV2_INSTANCE_ACCESS_URI, instance.handle()};
    const LV2_Feature touchFeature{LV2_UI__touch, &touch_};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize_};
    LV2_Feature given[] = {parentFeature, instanceFeature, touchFeature, resizeFeature};
    for (LV2_Feature& f : given)
      if (std::find(withoutData.begin(), withoutData.end(), f.URI) != withoutData.end()) f.data = nullptr;
    std::vector<const LV2_Feature*> features = {&given[0], &given[1], &given[2], &given[3]};
    LV2_Feature mapFeature{LV2_URID__map, nullptr}, optionsFeature{LV2_OPTIONS__options, nullptr};
    if (world) {
      scale_ = scaleFactor;
      options_[0] = {LV2_OPTIONS_INSTANCE, 0, world->map(LV2_UI__scaleFactor), sizeof scale_,
                     world->map(LV2_ATOM__Float), &scale_};
      mapFeature.data = world->mapFeature();
      optionsFeature.data = options_;
      features.insert(features.end(), {&mapFeature, &optionsFeature});
    }
    features.push_back(nullptr);
    handle_ = descriptor_->instantiate(descriptor_, plumbrook::lv2::kStereoUri.data(), bundle_, writeFunction,
                                       &record_, &widget_, features.data());
    idle_ = static_cast<const LV2UI_Idle_Interface*>(descriptor_->extension_data(LV2_UI__idleInterface));
    hostResize_ = static_cast<const LV2UI_Resize*>(descriptor_->extension_data(LV2_UI__resize));
    show_ = static_cast<const LV2UI_Show_Interface*>(descriptor_->extension_data(LV2_UI__showInterface));
  }
  ~LoadedUi() {
    close();
    if (library_) dlclose(library_);
    lilv_free(bundle_);
  }
  LoadedUi(const LoadedUi&) = delete;
  LoadedUi& operator=(const LoadedUi&) = delete;

  bool valid() const { return handle_ && widget_ && idle_ && hostResize_ && show_; }
  /// Whether instantiate gave a UI at all.
  bool instantiated() const { return handle_ != nullptr; }
  /// The host closes the UI (its cleanup), as when the user closes the plug-in window.
  void close() {
    if (handle_) descriptor_->cleanup(handle_);
    handle_ = nullptr;
  }
  int idle() { return idle_->idle(handle_); }
  void portEvent(uint32_t port, float value) { descriptor_->port_event(handle_, port, sizeof value, 0, &value); }
  void hostResized(int width, int height) { hostResize_->ui_resize(handle_, width, height); }
  void show(bool shown) { shown ? show_->show(handle_) : show_->hide(handle_); }
  std::string window() const { return std::to_string(reinterpret_cast<std::uintptr_t>(widget_)); }

 private:
  HostRecord& record_;
  char* bundle_ = nullptr;
  void* library_ = nullptr;
  const LV2UI_Descriptor* descriptor_ = nullptr;
  LV2UI_Handle handle_ = nullptr;
  LV2UI_Widget widget_ = nullptr;
  LV2UI_Touch touch_{};
  LV2UI_Resize resize_{};
  float scale_ = 0.f;
  LV2_Options_Option options_[2] = {};
  const LV2UI_Idle_Interface* idle_ = nullptr;
  const LV2UI_Resize* hostResize_ = nullptr;
  const LV2UI_Show_Interface* show_ = nullptr;
};

class lv2_ui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    xvfb_ = new plumbrook::test::Xvfb();
    world_ = new Lv2World(plumbrook::test::lv2Bundle());
  }
  static void TearDownTestSuite() {
    delete world_;
    delete xvfb_;
  }

  void SetUp() override {
    if (!xvfb_->Valid()) GTEST_SKIP() << "no Xvfb";
    instance_ = Lv2Instance::create(*world_, std::string(plumbrook::lv2::kStereoUri), 48000.0, 512);
    ASSERT_TRUE(instance_);
    instance_->activate();
    record_.instance = instance_.get();
    parent_ = std::make_unique<plumbrook::test::X11HostWindow>(1000, 500);
    ASSERT_TRUE(parent_->Valid());
  }

  Plumbrook& plugin() { return static_cast<plumbrook::lv2::InstanceBridge*>(instance_->handle())->plugin(); }

  // The virtual X server now and then refuses a new connection under load; a UI that got no
  // window is opened again, as a host would on the next attempt.
  std::unique_ptr<LoadedUi> openUi(const std::vector<std::string>& withoutData = {},
                                   std::optional<float> scaleFactor = std::nullopt) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      auto ui = std::make_unique<LoadedUi>(*instance_, record_, parent_->Native(), withoutData,
                                           scaleFactor ? world_ : nullptr, scaleFactor.value_or(0.f));
      if (ui->valid()) return ui;
      ui.reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
  }
  uint32_t port(const char* symbol) { return static_cast<uint32_t>(instance_->portIndex(symbol)); }

  // Runs the host for a while: audio blocks, the UI's idle calls and the parent's events.
  void pump(LoadedUi& ui, int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      if (!record_.audioOnItsOwnThread) instance_->run(256);
      ui.idle();
      parent_->Pump();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Runs the host until the editor has a scale (the window's resize comes back from the X server
  // when it comes), for at most five seconds.
  void pumpUntilScale(LoadedUi& ui, float scale) {
    for (int i = 0; i < 100 && std::fabs(plugin().editorScale() - scale) > 0.01f; ++i) pump(ui, 50);
  }

  // A real mouse drag inside the parent window, from (x, y) by dy pixels, in steps.
  void drag(LoadedUi& ui, int x, int y, int dy) {
    press(ui, x, y, dy);
    plumbrook::test::run({"xdotool", {"mouseup", "1"}, {}, "", ""});
    pump(ui, 80);
  }
  // The drag with the button still held.
  void press(LoadedUi& ui, int x, int y, int dy) {
    const std::string window = std::to_string(parent_->Native());
    ASSERT_EQ(plumbrook::test::run({"xdotool", {"mousemove", "--window", window, std::to_string(x), std::to_string(y),
                                                 "mousedown", "1"}, {}, "", ""}).status, 0);
    pump(ui, 60);
    for (int step = 1; step <= 4; ++step) {
      plumbrook::test::run({"xdotool", {"mousemove", "--window", window, std::to_string(x),
                                        std::to_string(y + dy * step / 4)}, {}, "", ""});
      pump(ui, 40);
    }
  }

  static plumbrook::test::Xvfb* xvfb_;
  static Lv2World* world_;
  std::unique_ptr<Lv2Instance> instance_;
  std::unique_ptr<plumbrook::test::X11HostWindow> parent_;
  HostRecord record_;
};

plumbrook::test::Xvfb* lv2_ui::xvfb_ = nullptr;
Lv2World* lv2_ui::world_ = nullptr;

// The events of one kind on one port.
int count(const HostRecord& r, HostRecord::Event::Kind kind, uint32_t port) {
  int n = 0;
  for (const auto& e : r.events) n += e.kind == kind && e.port == port;
  return n;
}

}  // namespace

TEST_F(lv2_ui, a_drag_is_one_touch_gesture_around_port_writes_the_plugin_takes_without_echo) {
  auto opened = openUi();
  ASSERT_TRUE(opened);
  LoadedUi& ui = *opened;
  for (int i = 0; i < 100 && parent_->ChildCount() != 1; ++i) pump(ui, 10);
  EXPECT_EQ(parent_->ChildCount(), 1);  // embedded in the host's window
  pump(ui, 200);

  drag(ui, 116, 244, -60);  // the GAIN knob, upwards
  const uint32_t gain = port("gain");
  ASSERT_EQ(count(record_, HostRecord::Event::kGrab, gain), 1);
  EXPECT_EQ(count(record_, HostRecord::Event::kRelease, gain), 1);
  EXPECT_GE(count(record_, HostRecord::Event::kWrite, gain), 1);
  EXPECT_EQ(record_.events.front().kind, HostRecord::Event::kGrab);
  EXPECT_EQ(record_.events.back().kind, HostRecord::Event::kRelease);
  const float written = instance_->control("gain");
  EXPECT_GT(written, 0.0f);
  EXPECT_EQ(static_cast<float>(plugin().GetParam(plumbrook::kGain)->Value()), written);

  // The host plays on: the plug-in keeps the value, and a host change is shown without a write back.
  record_.events.clear();
  pump(ui, 100);
  EXPECT_EQ(static_cast<float>(plugin().GetParam(plumbrook::kGain)->Value()), written);
  instance_->setControlPort(gain, -6.0f);
  ui.portEvent(gain, -6.0f);
  pump(ui, 100);
  EXPECT_TRUE(record_.events.empty());
  EXPECT_DOUBLE_EQ(plugin().GetParam(plumbrook::kGain)->Value(), -6.0);
}

TEST_F(lv2_ui, closing_the_ui_during_a_drag_ends_its_gesture) {
  auto ui = openUi();
  ASSERT_TRUE(ui);
  pump(*ui, 200);
  press(*ui, 116, 244, -40);  // GAIN, button still down
  const uint32_t gain = port("gain");
  ASSERT_EQ(count(record_, HostRecord::Event::kGrab, gain), 1);
  ASSERT_EQ(count(record_, HostRecord::Event::kRelease, gain), 0);
  ui.reset();
  plumbrook::test::run({"xdotool", {"mouseup", "1"}, {}, "", ""});
  EXPECT_EQ(count(record_, HostRecord::Event::kRelease, gain), 1);
  EXPECT_EQ(record_.events.back().kind, HostRecord::Event::kRelease);
}

// A host that gives a feature with null data has not given it: the UI refuses to open without
// its parent window or the instance, and works without touch.
TEST_F(lv2_ui, features_without_data_count_as_absent) {
  for (const char* required : {LV2_UI__parent, LV2_INSTANCE_ACCESS_URI}) {
    LoadedUi ui(*instance_, record_, parent_->Native(), {required});
    EXPECT_FALSE(ui.instantiated()) << required;
  }
  auto ui = openUi({LV2_UI__touch, LV2_UI__resize});
  ASSERT_TRUE(ui);
  pump(*ui, 200);
  drag(*ui, 116, 244, -40);  // GAIN
  EXPECT_EQ(count(record_, HostRecord::Event::kGrab, port("gain")), 0);
  EXPECT_GE(count(record_, HostRecord::Event::kWrite, port("gain")), 1);
}

// An X error caused on the editor's own connection (here by a parent window that does not exist)
// is reported and survived; Xlib's default handler would end the host's process.
TEST_F(lv2_ui, an_x_error_on_the_editors_connection_does_not_end_the_host) {
  const std::uintptr_t missing = (parent_->Native() & ~std::uintptr_t{0x1fffff}) | 0x1ffff0;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadedUi(*instance_, record_, missing).instantiated());
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("X error"), std::string::npos) << said;
  // The host's own connection keeps working, and a UI in a real parent still opens.
  parent_->Pump();
  EXPECT_TRUE(openUi());
}

TEST_F(lv2_ui, limiter_link_moves_both_ports_each_in_its_own_gesture) {
  instance_->setControl("link", 1.0f);
  instance_->run(64);
  auto opened = openUi();
  ASSERT_TRUE(opened);
  LoadedUi& ui = *opened;
  pump(ui, 200);
  drag(ui, 709, 178, -40);  // CEILING, upwards
  const uint32_t ceiling = port("ceiling");
  const uint32_t threshold = port("threshold");
  EXPECT_EQ(count(record_, HostRecord::Event::kGrab, ceiling), 1);
  EXPECT_EQ(count(record_, HostRecord::Event::kRelease, ceiling), 1);
  EXPECT_GE(count(record_, HostRecord::Event::kGrab, threshold), 1);
  EXPECT_EQ(count(record_, HostRecord::Event::kGrab, threshold), count(record_, HostRecord::Event::kRelease, threshold));
  EXPECT_GE(count(record_, HostRecord::Event::kWrite, threshold), 1);
  // The distance between them is kept, in the ports as in the plug-in.
  EXPECT_NEAR(instance_->control("ceiling") - instance_->control("threshold"), -0.3f, 1e-4);
}

TEST_F(lv2_ui, a_host_resize_sets_the_draw_scale_and_state_keeps_the_size_and_accent) {
  auto opened = openUi();
  ASSERT_TRUE(opened);
  LoadedUi& ui = *opened;
  pump(ui, 100);
  ui.hostResized(1320, 573);
  plugin().setAccentIndex(2);
  pumpUntilScale(ui, 1.5f);
  EXPECT_NEAR(plugin().editorScale(), 1.5f, 0.01f);

  // State saved with the editor open keeps that size and accent for the next time it opens.
  std::vector<plumbrook::test::StateProperty> saved;
  ASSERT_EQ(instance_->save(saved), LV2_STATE_SUCCESS);
  auto other = Lv2Instance::create(*world_, std::string(plumbrook::lv2::kStereoUri), 48000.0, 512);
  ASSERT_TRUE(other);
  ASSERT_EQ(other->restore(saved), LV2_STATE_SUCCESS);
  const Plumbrook& restored = static_cast<plumbrook::lv2::InstanceBridge*>(other->handle())->plugin();
  EXPECT_EQ(restored.restoredEditorSize(), std::make_pair(1320, 573));
  EXPECT_EQ(restored.accentIndex(), 2);

  // That state restored while the editor is open at another size: a save before the window has
  // the restored size keeps it, and the window takes it.
  ui.hostResized(880, 382);
  pumpUntilScale(ui, 1.0f);
  EXPECT_NEAR(plugin().editorScale(), 1.0f, 0.01f);
  ASSERT_EQ(instance_->restore(saved), LV2_STATE_SUCCESS);
  std::vector<plumbrook::test::StateProperty> again;
  ASSERT_EQ(instance_->save(again), LV2_STATE_SUCCESS);
  ASSERT_EQ(other->restore(again), LV2_STATE_SUCCESS);
  EXPECT_EQ(restored.restoredEditorSize(), std::make_pair(1320, 573));
  pumpUntilScale(ui, 1.5f);
  EXPECT_NEAR(plugin().editorScale(), 1.5f, 0.01f);
  ASSERT_FALSE(record_.sizes.empty());
  EXPECT_EQ(record_.sizes.back(), std::make_pair(1320, 573));  // asked of the host too
  EXPECT_EQ(plumbrook::test::windowGeometry(ui.window()), "1320x573");
}

TEST_F(lv2_ui, hostile_sizes_and_scales_are_clamped_before_they_reach_the_window) {
  auto opened = openUi();
  ASSERT_TRUE(opened);
  LoadedUi& ui = *opened;
  pump(ui, 100);
  ui.hostResized(100000, 100000);
  pumpUntilScale(ui, 2.0f);
  EXPECT_EQ(plumbrook::test::windowGeometry(ui.window()), "1760x764");
  EXPECT_NEAR(plugin().editorScale(), 2.0f, 0.01f);
  ui.hostResized(-5, 0);
  pumpUntilScale(ui, 0.75f);
  EXPECT_NEAR(plugin().editorScale(), 0.75f, 0.01f);
  EXPECT_EQ(ui.idle(), 0);  // still open

  // A host that resizes the editor's window itself to the largest size X has (a host asking
  // 100000 gets 32767), again and again: each time the editor survives and takes its largest size.
  for (int attempt = 0; attempt < 5; ++attempt) {
    ASSERT_EQ(plumbrook::test::run({"xdotool", {"windowsize", ui.window(), "32767", "32767"}, {}, "", ""}).status, 0);
    pump(ui, 300);
    pumpUntilScale(ui, 2.0f);
    EXPECT_NEAR(plugin().editorScale(), 2.0f, 0.01f) << "attempt " << attempt;
    EXPECT_EQ(ui.idle(), 0) << "attempt " << attempt;
    EXPECT_EQ(plumbrook::test::windowGeometry(ui.window()), "1760x764") << "attempt " << attempt;
  }
}

TEST_F(lv2_ui, a_host_scale_factor_sizes_the_window_and_one_no_screen_has_is_clamped) {
  struct Case {
    float scaleFactor;
    const char* geometry;  // of the editor's window at the design size
  };
  const Case cases[] = {
      {1.5f, "1320x573"},
      {1e6f, "3520x1528"},  // four times, the largest screen scale taken
      {std::nanf(""), "880x382"},
      {-2.f, "880x382"},
  };
  // One plug-in whose editor is opened on screens of these scales in turn keeps the user's draw scale.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scaleFactor);
    auto ui = openUi({}, c.scaleFactor);
    ASSERT_TRUE(ui);
    pump(*ui, 200);
    EXPECT_EQ(plumbrook::test::windowGeometry(ui->window()), c.geometry);
    EXPECT_NEAR(plugin().editorScale(), 1.0f, 0.01f);
    EXPECT_EQ(ui->idle(), 0);
  }
}

TEST_F(lv2_ui, the_host_hides_and_shows_the_window) {
  auto opened = openUi();
  ASSERT_TRUE(opened);
  LoadedUi& ui = *opened;
  pump(ui, 100);
  const auto mapState = [&] {
    const std::string info = plumbrook::test::run({"xwininfo", {"-id", ui.window()}, {}, "", ""}).out;
    const auto at = info.find("Map State: ");
    return at == std::string::npos ? info : info.substr(at + 11, info.find('\n', at) - at - 11);
  };
  EXPECT_EQ(mapState(), "IsViewable");
  ui.show(false);
  pump(ui, 100);
  EXPECT_EQ(mapState(), "IsUnMapped");
  ui.show(true);
  pump(ui, 100);
  EXPECT_EQ(mapState(), "IsViewable");
}

TEST_F(lv2_ui, opens_and_closes_twenty_times_while_audio_runs) {
  for (int i = 0; i < 20; ++i) {
    auto ui = openUi();
    ASSERT_TRUE(ui) << "cycle " << i;
    pump(*ui, 30);
  }
  // The server handles each client's requests in its own order: give it a moment to see the
  // last window destroyed by the UI's own connection.
  for (int i = 0; i < 100 && parent_->ChildCount() != 0; ++i) {
    parent_->Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(parent_->ChildCount(), 0);
  // The shared timer ticks the instance again once the editor is gone.
  instance_->run(256);
}

// As in a real host: audio on its own thread, the UI's writes and the host's own changes reaching
// the ports between blocks, the shared timer ticking another instance (and this one while its UI
// is closed), and state saved from a third thread. Run under ThreadSanitizer by the test command.
TEST_F(lv2_ui, a_session_with_audio_the_timer_and_state_saves_on_their_own_threads) {
  auto other = Lv2Instance::create(*world_, std::string(plumbrook::lv2::kStereoUri), 48000.0, 512);
  ASSERT_TRUE(other);
  other->activate();
  record_.audioOnItsOwnThread = true;
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    while (!stop.load()) {
      record_.applyPending();
      instance_->run(256);
      other->run(256);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const uint32_t ceiling = port("ceiling");
  for (int cycle = 0; cycle < 3; ++cycle) {
    auto ui = openUi();
    ASSERT_TRUE(ui) << "cycle " << cycle;
    pump(*ui, 100);
    drag(*ui, 116, 244, -20 * (cycle + 1));  // GAIN
    const float hostCeiling = -1.0f - static_cast<float>(cycle);
    record_.setPort(ceiling, hostCeiling);
    ui->portEvent(ceiling, hostCeiling);
    std::thread saver([&] {
      std::vector<plumbrook::test::StateProperty> saved;
      EXPECT_EQ(instance_->save(saved), LV2_STATE_SUCCESS);
    });
    pump(*ui, 100);
    saver.join();
    EXPECT_EQ(static_cast<float>(plugin().GetParam(plumbrook::kLimiterCeiling)->Value()), hostCeiling);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the timer ticks this instance again
  stop = true;
  audio.join();
  EXPECT_GT(instance_->control("gain"), 0.0f);
}
