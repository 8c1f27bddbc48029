// LV2 editor UI: the plug-in's editor in an X11 window embedded in the host's, reaching the running
// instance through instance access and the host through its port writes and touch gestures.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "editor/editor_drawing.h"
#include "platform/lv2/lv2_bridge.h"
#include "platform/lv2/lv2_ports.h"
#include "platform/window/editor_window.h"

namespace plumbrook::lv2 {
namespace {

using Clock = std::chrono::steady_clock;

// The parameter of a control input port, or -1.
int paramOfPort(int channels, uint32_t port) {
  const uint32_t first = paramPort(channels, 0);
  return port >= first && port < first + static_cast<uint32_t>(kNumParams) ? static_cast<int>(port - first) : -1;
}

// One open editor. Every entry point runs on the host's UI thread; editor work and idle ticks run
// under the instance's lock, so state save and restore on other threads never meet them.
class Ui final : public plugkit::Host {
 public:
  Ui(InstanceBridge& bridge, int channels, LV2UI_Write_Function write, LV2UI_Controller controller,
     const LV2UI_Touch* touch, const LV2UI_Resize* resize)
      : bridge_(bridge), channels_(channels), write_(write), controller_(controller), touch_(touch),
        resize_(resize) {}

  ~Ui() override {
    bridge_.whileLocked([this] {
      editor_.reset();  // detaches from the plug-in; its controls go with the window
      window_.reset();  // releases every GL object with its context
    });
    bridge_.detachEditor();
    // A drag cut short by closing the UI would leave the host writing automation for good.
    for (int paramIdx = 0; paramIdx < kNumParams; ++paramIdx)
      if (grabbed_[static_cast<size_t>(paramIdx)]) touch(paramIdx, false);
  }

  Ui(const Ui&) = delete;
  Ui& operator=(const Ui&) = delete;

  /// Opens the editor in `parent`; false when no window could be made.
  bool open(std::uintptr_t parent, const std::filesystem::path& resources, float hostScale) {
    bridge_.attachEditor(this);
    Plumbrook& plugin = bridge_.plugin();
    plugkit::platform::EditorWindow::Options options;
    options.parent = parent;
    options.title = "Plumbrook";
    options.scale = plugin.initialDrawScale();
    options.resourceDir = resources.string();
    options.sizeChanged = [this](int width, int height) {
      if (resize_) resize_->ui_resize(resize_->handle, width, height);
    };
    // Runs inside the window's event handling, which already holds the instance's lock.
    options.resized = [&plugin](int width, int height) { plugin.OnParentWindowResize(width, height); };
    if (hostScale > 0.0f) options.screenScale = hostScale;
    const editor::Resources files{resources / "Roboto-Regular.ttf", resources / "RobotoCondensed-Bold.ttf",
                                  resources / "plumbrook-lockup.svg"};
    bool opened = false;
    bridge_.whileLocked([&] {
      window_ = std::make_unique<plugkit::platform::EditorWindow>(
          plugin, options, [this, &plugin, files](plugkit::gfx::Graphics& graphics) {
            editor_ = std::make_unique<editor::PlumbrookEditor>(plugin, graphics, files);
          });
      opened = window_->Open() && editor_;
    });
    return opened;
  }

  LV2UI_Widget widget() const { return reinterpret_cast<LV2UI_Widget>(window_ ? window_->NativeWindow() : 0); }

  /// A host control changed: the editor shows it as a change from the delegate.
  void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    const int paramIdx = paramOfPort(channels_, port);
    if (paramIdx < 0 || format != 0 || size != sizeof(float) || !buffer) return;
    const double value = *static_cast<const float*>(buffer);
    bridge_.whileLocked([&] {
      Plumbrook& plugin = bridge_.plugin();
      const plugkit::Param* param = plugin.GetParam(paramIdx);
      if (!param || static_cast<float>(param->Value()) == static_cast<float>(value)) return;
      plugin.ShowParamInUI(paramIdx, value, false);
    });
  }

  /// The host's idle call: window events, and the instance's idle tick every 20 ms. Non-zero once
  /// the window is gone.
  int idle() {
    if (!window_ || !window_->IsOpen()) return 1;
    bridge_.whileLocked([this] { window_->Update(0.0); });
    const Clock::time_point now = Clock::now();
    if (now >= nextTick_) {
      nextTick_ = now + std::chrono::milliseconds(20);
      bridge_.tick();
    }
    return window_->CloseRequested() ? 1 : 0;
  }

  /// The host's show and hide: the window is mapped or unmapped, keeping its editor.
  int setVisible(bool visible) {
    if (!window_ || !window_->IsOpen()) return 1;
    window_->SetVisible(visible);
    return 0;
  }

  /// The host gives the editor a size: its window takes it (within what the editor supports) and
  /// the editor follows when the server reports it.
  int hostResized(int width, int height) {
    if (!window_ || !window_->IsOpen()) return 1;
    bridge_.whileLocked([&] { window_->RequestSize(width, height); });
    return 0;
  }

  // plugkit::Host: editor gestures and changes reach the host through its UI controller.
  void BeginParamGesture(int paramIdx) override { touch(paramIdx, true); }
  void EndParamGesture(int paramIdx) override { touch(paramIdx, false); }
  void NotifyHostOfParamChange(int paramIdx, double) override {
    const plugkit::Param* param = bridge_.plugin().GetParam(paramIdx);
    if (!param) return;
    const float value = static_cast<float>(param->Value());
    write_(controller_, paramPort(channels_, paramIdx), sizeof(float), 0, &value);
  }
  void LatencyChanged(int) override {}

 private:
  void touch(int paramIdx, bool grabbed) {
    if (paramIdx < 0 || paramIdx >= kNumParams) return;
    grabbed_[static_cast<size_t>(paramIdx)] = grabbed;
    if (touch_ && touch_->touch) touch_->touch(touch_->handle, paramPort(channels_, paramIdx), grabbed);
  }

  InstanceBridge& bridge_;
  const int channels_;
  const LV2UI_Write_Function write_;
  const LV2UI_Controller controller_;
  const LV2UI_Touch* const touch_;
  const LV2UI_Resize* const resize_;
  std::unique_ptr<plugkit::platform::EditorWindow> window_;
  std::unique_ptr<editor::PlumbrookEditor> editor_;
  Clock::time_point nextTick_{};
  std::array<bool, kNumParams> grabbed_{};  // gestures begun and not yet ended
};

// A feature's data, or null when the host does not give it. A feature given with null data
// counts as absent: every feature this UI uses needs its data.
const void* feature(const LV2_Feature* const* features, const char* uri) {
  for (const LV2_Feature* const* f = features; f && *f; ++f)
    if ((*f)->URI && std::strcmp((*f)->URI, uri) == 0 && (*f)->data) return (*f)->data;
  return nullptr;
}

// The host's ui:scaleFactor option, or 0 when it gives none.
float hostScaleFactor(const LV2_Feature* const* features) {
  const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
  const auto* options = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
  if (!map || !map->map || !options) return 0.0f;
  const LV2_URID scale = map->map(map->handle, LV2_UI__scaleFactor);
  const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
  for (const LV2_Options_Option* o = options; o->key != 0; ++o)
    if (o->key == scale && o->type == floatType && o->size == sizeof(float) && o->value) {
      const float value = *static_cast<const float*>(o->value);
      // A scale no screen has would make a window X refuses or memory runs out for.
      return std::isfinite(value) && value > 0.0f
                 ? std::clamp(value, plugkit::gfx::kMinScreenScale, plugkit::gfx::kMaxScreenScale)
                 : 0.0f;
    }
  return 0.0f;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
  // Both features are declared required, so a host without them never offers this UI; one that
  // offers it anyway, or gives them without data, gets no UI rather than a crash.
  const void* parent = feature(features, LV2_UI__parent);
  const void* instance = feature(features, LV2_INSTANCE_ACCESS_URI);
  if (!parent || !instance || !write || !widget || !pluginUri || !bundlePath) return nullptr;
  int channels = 0;
  for (const Variant& v : kVariants)
    if (v.uri == pluginUri) channels = v.channels;
  if (channels == 0) return nullptr;
  try {
    auto* bridge = static_cast<InstanceBridge*>(const_cast<void*>(instance));
    auto ui = std::make_unique<Ui>(*bridge, channels, write, controller,
                                   static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch)),
                                   static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize)));
    const std::filesystem::path resources = std::filesystem::path(bundlePath) / "resources";
    if (!ui->open(reinterpret_cast<std::uintptr_t>(parent), resources, hostScaleFactor(features))) return nullptr;
    *widget = ui->widget();
    return ui.release();
  } catch (...) {
    return nullptr;
  }
}

void cleanup(LV2UI_Handle handle) { delete static_cast<Ui*>(handle); }

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  static_cast<Ui*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) { return static_cast<Ui*>(handle)->idle(); }

int resized(LV2UI_Feature_Handle handle, int width, int height) {
  return static_cast<Ui*>(handle)->hostResized(width, height);
}

int show(LV2UI_Handle handle) { return static_cast<Ui*>(handle)->setVisible(true); }
int hide(LV2UI_Handle handle) { return static_cast<Ui*>(handle)->setVisible(false); }

const LV2UI_Idle_Interface kIdle = {idle};
const LV2UI_Show_Interface kShow = {show, hide};
const LV2UI_Resize kResize = {nullptr, resized};

const void* extensionData(const char* uri) {
  if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
  if (std::strcmp(uri, LV2_UI__resize) == 0) return &kResize;
  if (std::strcmp(uri, LV2_UI__showInterface) == 0) return &kShow;
  return nullptr;
}

const LV2UI_Descriptor kUiDescriptor = {kUiUri.data(), instantiate, cleanup, portEvent, extensionData};

}  // namespace
}  // namespace plumbrook::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &plumbrook::lv2::kUiDescriptor : nullptr;
}
