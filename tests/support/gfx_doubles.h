// Test doubles for the control framework: a delegate with a few parameters that records host calls,
// and a window platform whose menus, text fields and message boxes answer from a script.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/editor_delegate.h"
#include "gfx/graphics.h"

namespace plumbrook::test {

/// Parameters: 0 gain (-70..24 dB, step 0.5), 1 mode (enum of three), 2 switch (bool "Off"/"On"),
/// 3 count (int 0..10), 4 plain (double 0..1, step 0.001, not stepped).
class GfxDelegate : public plugkit::EditorDelegate {
 public:
  enum { kGain, kMode, kSwitch, kCount, kPlain, kNumParams };
  struct Call {
    std::string what;  // "begin", "set", "end"
    int paramIdx;
    double value;
  };

  GfxDelegate() : EditorDelegate(kNumParams) {
    GetParam(kGain)->InitDouble("Gain", 0.0, -70.0, 24.0, 0.5, "dB");
    GetParam(kMode)->InitEnum("Mode", 1, {"Soft", "Firm", "Hard"});
    GetParam(kSwitch)->InitBool("Switch", false, "", 0, "", "Off", "On");
    GetParam(kCount)->InitInt("Count", 5, 0, 10);
    GetParam(kPlain)->InitDouble("Plain", 0.25, 0.0, 1.0, 0.001);
  }
  void BeginParamGestureFromUI(int p) override { calls.push_back({"begin", p, 0.0}); }
  void SetParamFromUI(int p, double v) override { calls.push_back({"set", p, v}); }
  void EndParamGestureFromUI(int p) override { calls.push_back({"end", p, 0.0}); }
  int Count(const std::string& what) const {
    int n = 0;
    for (const Call& c : calls) n += c.what == what;
    return n;
  }
  std::vector<Call> calls;
};

/// Pop-ups answer at once: menus choose the next scripted index (-1 dismisses), text fields commit
/// the next scripted string (nullopt cancels).
class ScriptedPlatform : public plugkit::gfx::GraphicsPlatform {
 public:
  std::deque<int> menuAnswers;
  std::deque<std::optional<std::string>> textAnswers;
  std::vector<std::string> menuTitles;
  std::vector<std::vector<std::string>> menuItems;
  std::vector<std::vector<bool>> menuChecks;
  std::vector<std::string> textInitials;
  std::vector<plugkit::gfx::Rect> popupBounds;
  std::vector<std::string> urls;
  std::vector<std::pair<int, int>> windowSizes;
  plugkit::gfx::Graphics* grantResizesTo = nullptr;
  int hides = 0;

  void ShowPopupMenu(plugkit::gfx::PopupMenu& menu, const plugkit::gfx::Rect& bounds, MenuDone done) override {
    menuTitles.push_back(menu.Title());
    std::vector<std::string> items;
    std::vector<bool> checks;
    for (int i = 0; i < menu.NItems(); ++i) {
      items.push_back(menu.GetItem(i)->Text());
      checks.push_back(menu.GetItem(i)->Checked());
    }
    menuItems.push_back(items);
    menuChecks.push_back(checks);
    popupBounds.push_back(bounds);
    int answer = -1;
    if (!menuAnswers.empty()) answer = menuAnswers.front(), menuAnswers.pop_front();
    menu.SetChosenItemIdx(answer);
    done(answer >= 0 ? &menu : nullptr);
  }
  void ShowTextEntry(const plugkit::gfx::TextStyle&, const plugkit::gfx::Rect& bounds, const std::string& initial,
                     int, TextDone done) override {
    textInitials.push_back(initial);
    popupBounds.push_back(bounds);
    std::optional<std::string> answer;
    if (!textAnswers.empty()) answer = textAnswers.front(), textAnswers.pop_front();
    done(answer);
  }
  plugkit::MessageBoxResult ShowMessageBox(const std::string&, const std::string&, plugkit::MessageBoxType,
                                           plugkit::MessageBoxCompletion completion) override {
    if (completion) completion(plugkit::MessageBoxResult::kOK);
    return plugkit::MessageBoxResult::kOK;
  }
  bool OpenURL(const std::string& url) override { urls.push_back(url); return true; }
  void SetMouseCursor(plugkit::gfx::Cursor) override {}
  void HideMouseCursor(bool hide, bool) override { hides += hide; }
  /// A window that takes every size asked of it (when it knows its graphics) or ignores them.
  void ResizeWindow(int w, int h) override {
    windowSizes.push_back({w, h});
    if (grantResizesTo) grantResizesTo->OnWindowResized(w, h);
  }
  float BackingScale() const override { return 1.f; }
};

}  // namespace plumbrook::test
