// Control framework logic on the recording back end: attachment, hit testing, mouse routing,
// gestures, context menus, prompts, resizing and the dirty-region drawing cycle.
#include <gtest/gtest.h>

#include "gfx/graphics_recording.h"
#include "tests/support/gfx_doubles.h"

namespace plugkit::gfx {
namespace {

using plumbrook::test::GfxDelegate;
using plumbrook::test::ScriptedPlatform;

// A control that logs the hooks it receives.
class Probe : public Control {
 public:
  explicit Probe(const Rect& r, int paramIdx = -1, std::vector<std::string>* log = nullptr)
      : Control(r, paramIdx), log_(log) {}
  void Draw(Graphics& g) override { g.FillRect(kColorRed, rect_); ++draws; }
  void OnMouseDown(float x, float y, const MouseMod& m) override { note("down"); Control::OnMouseDown(x, y, m); }
  void OnMouseUp(float, float, const MouseMod&) override { note("up"); }
  void OnMouseDrag(float, float, float, float, const MouseMod&) override {
    note("drag");
    SetValue(GetValue() + 0.1);
    SetDirty(true);
  }
  void OnMouseWheel(float, float, const MouseMod&, float) override { note("wheel"); }
  void OnMouseOver(float x, float y, const MouseMod& m) override { note("over"); Control::OnMouseOver(x, y, m); }
  void OnMouseOut() override { note("out"); Control::OnMouseOut(); }
  void OnInit() override { note("init"); }
  void OnResize() override { note("resize"); }
  void OnRescale() override { note("rescale"); }
  void OnAttached() override { note("attached"); }
  void CreateContextMenu(PopupMenu& menu) override {
    for (const auto& item : contextItems) menu.AddItem(item);
  }
  void OnContextSelection(int idx) override { contextChoice = idx; }
  void OnMenuChoice(const PopupMenu* menu, int valIdx) override {
    menuChoices.push_back(menu ? menu->ChosenItemIdx() : -99);
    Control::OnMenuChoice(menu, valIdx);
  }
  void OnTextEntryDone(const std::string& text, int) override { typed.push_back(text); }

  std::vector<std::string> contextItems;
  std::vector<int> menuChoices;
  std::vector<std::string> typed;
  int contextChoice = -2;
  int draws = 0;

 private:
  void note(const char* what) {
    if (log_) log_->push_back(what);
  }
  std::vector<std::string>* log_;
};

class GraphicsTest : public ::testing::Test {
 protected:
  GraphicsTest() : g(delegate, 400, 300) {
    g.SetPlatform(&platform);
    g.AttachBackground(kColorDarkGray);
  }
  Probe* attach(const Rect& r, int param = -1, int tag = -1) {
    return static_cast<Probe*>(g.AttachControl(std::make_unique<Probe>(r, param, &log), tag));
  }
  MouseMod left() const { MouseMod m; m.L = true; return m; }
  MouseMod right() const { MouseMod m; m.R = true; return m; }

  GfxDelegate delegate;
  ScriptedPlatform platform;
  GraphicsRecording g;
  std::vector<std::string> log;
};

TEST_F(GraphicsTest, AttachRunsHooksInOrderAndRefusesATakenTag) {
  Probe* a = attach({10, 10, 50, 50}, -1, 7);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"init", "resize", "rescale", "attached"}));
  EXPECT_EQ(a->GetUI(), &g);
  EXPECT_EQ(g.ControlWithTag(7), a);

  const int before = g.NControls();
  EXPECT_EQ(attach({60, 10, 90, 50}, -1, 7), nullptr);
  EXPECT_EQ(g.NControls(), before);
  EXPECT_EQ(g.ControlWithTag(7), a);
}

TEST_F(GraphicsTest, FindsControlsByParameterAndGroup) {
  Probe* a = attach({0, 0, 10, 10}, GfxDelegate::kGain);
  g.AttachControl(std::make_unique<Probe>(Rect{20, 0, 30, 10}, GfxDelegate::kGain), -1, "knobs");
  attach({40, 0, 50, 10}, GfxDelegate::kMode);
  EXPECT_EQ(g.ControlWithParam(GfxDelegate::kGain), a);
  int gain = 0, group = 0;
  g.ForEachControlWithParam(GfxDelegate::kGain, [&](Control*) { ++gain; });
  g.ForEachControlInGroup("knobs", [&](Control*) { ++group; });
  EXPECT_EQ(gain, 2);
  EXPECT_EQ(group, 1);
  g.RemoveAllControls();
  EXPECT_EQ(g.NControls(), 0);
  EXPECT_EQ(g.ControlWithParam(GfxDelegate::kGain), nullptr);
}

TEST_F(GraphicsTest, HitTestingSkipsHiddenIgnoringAndDisabledControls) {
  Probe* below = attach({0, 0, 100, 100});
  Probe* above = attach({0, 0, 100, 100});
  EXPECT_EQ(g.ControlUnderMouse(50, 50, false), above);  // the last attached is on top

  above->Hide(true);
  EXPECT_EQ(g.ControlUnderMouse(50, 50, false), below);
  above->Hide(false);
  above->SetIgnoreMouse(true);
  EXPECT_EQ(g.ControlUnderMouse(50, 50, false), below);
  above->SetIgnoreMouse(false);
  above->SetDisabled(true);
  EXPECT_EQ(g.ControlUnderMouse(50, 50, false), below);
  EXPECT_FLOAT_EQ(above->GetBlend().weight, 0.25f);
  above->SetMouseEventsWhenDisabled(true);
  EXPECT_EQ(g.ControlUnderMouse(50, 50, false), above);

  // Right and bottom edges are outside.
  EXPECT_EQ(g.ControlUnderMouse(100, 50, false), nullptr);
  EXPECT_EQ(g.ControlUnderMouse(99.9f, 99.9f, false), above);
}

TEST_F(GraphicsTest, HiddenControlsNeverReceiveMouseEvents) {
  Probe* p = attach({0, 0, 100, 100}, GfxDelegate::kGain);
  p->Hide(true);
  g.OnMouseDown(50, 50, left());
  g.OnMouseDrag(50, 40, 0, -10, left());
  g.OnMouseUp(50, 40, left());
  g.OnMouseWheel(50, 50, {}, 1.f);
  EXPECT_TRUE(log.empty() || log.back() == "attached");
  EXPECT_EQ(delegate.calls.size(), 0u);
}

TEST_F(GraphicsTest, BackgroundNeverBecomesTheMouseOverControl) {
  g.EnableMouseOver(true);
  g.OnMouseOver(5, 5, {});
  EXPECT_EQ(g.GetMouseOver(), nullptr);  // only the background is there
  Probe* p = attach({0, 0, 10, 10});
  g.OnMouseOver(5, 5, {});
  EXPECT_EQ(g.GetMouseOver(), p);
  g.OnMouseOver(200, 200, {});
  EXPECT_EQ(g.GetMouseOver(), nullptr);
  EXPECT_EQ(log.back(), "out");
}

TEST_F(GraphicsTest, MouseOverIsDeliveredOnlyOnceEnabled) {
  attach({0, 0, 10, 10});
  g.OnMouseOver(5, 5, {});
  EXPECT_EQ(g.GetMouseOver(), nullptr);
}

TEST_F(GraphicsTest, ADragIsOneGestureAndTheCaptureKeepsTheControl) {
  Probe* p = attach({0, 0, 100, 100}, GfxDelegate::kPlain);
  Probe* other = attach({200, 0, 300, 100});
  g.OnMouseDown(50, 50, left());
  EXPECT_EQ(g.GetCapturedControl(), p);
  for (int i = 0; i < 3; ++i) g.OnMouseDrag(250.f, 50.f, 10.f, 0.f, left());  // over the other control
  g.OnMouseUp(250, 50, left());
  EXPECT_EQ(g.GetCapturedControl(), nullptr);
  EXPECT_EQ(delegate.Count("begin"), 1);
  EXPECT_EQ(delegate.Count("set"), 3);
  EXPECT_EQ(delegate.Count("end"), 1);
  EXPECT_EQ(delegate.calls.front().what, "begin");
  EXPECT_EQ(delegate.calls.back().what, "end");
  EXPECT_EQ(std::count(log.begin(), log.end(), "drag"), 3);
  EXPECT_EQ(other->draws, 0);
}

TEST_F(GraphicsTest, DelegateValuesDoNotMoveAControlBeingDragged) {
  Probe* p = attach({0, 0, 100, 100}, GfxDelegate::kPlain);
  g.OnMouseDown(50, 50, left());
  g.SetParamValueFromDelegate(GfxDelegate::kPlain, 0.9);
  EXPECT_DOUBLE_EQ(p->GetValue(), 0.0);
  g.OnMouseUp(50, 50, left());
  g.SetParamValueFromDelegate(GfxDelegate::kPlain, 0.9);
  EXPECT_DOUBLE_EQ(p->GetValue(), 0.9);
}

TEST_F(GraphicsTest, UserChangesReachTheHostAndEveryPeerOfTheParameter) {
  Probe* a = attach({0, 0, 10, 10}, GfxDelegate::kPlain);
  Probe* b = attach({20, 0, 30, 10}, GfxDelegate::kPlain);
  int actions = 0;
  a->SetActionFunction([&](Control*) { ++actions; });
  a->SetValueFromUserInput(0.7);
  EXPECT_DOUBLE_EQ(b->GetValue(), 0.7);
  ASSERT_EQ(delegate.calls.size(), 1u);
  EXPECT_DOUBLE_EQ(delegate.calls[0].value, 0.7);
  EXPECT_EQ(actions, 1);
  a->SetValueFromUserInput(0.7);  // unchanged: nothing more
  EXPECT_EQ(delegate.calls.size(), 1u);

  a->SetValue(1.8);
  a->SetDirty(false);
  EXPECT_DOUBLE_EQ(a->GetValue(), 1.0);  // clamped, not sent
  EXPECT_EQ(delegate.calls.size(), 1u);
}

TEST_F(GraphicsTest, RightClickOnALinkedValueOpensTheContextMenuInsteadOfMouseDown) {
  Probe* p = attach({0, 0, 100, 100}, GfxDelegate::kGain);
  p->contextItems = {"Learn", "Reset"};
  platform.menuAnswers = {1};
  g.OnMouseDown(40, 30, right());
  EXPECT_EQ(std::count(log.begin(), log.end(), "down"), 0);
  EXPECT_EQ(delegate.Count("begin"), 0);
  EXPECT_EQ(p->contextChoice, 1);
  ASSERT_EQ(platform.popupBounds.size(), 1u);
  EXPECT_EQ(platform.popupBounds[0], Rect(40, 30, 40, 30));

  p->contextItems.clear();  // an empty context menu shows nothing
  g.OnMouseDown(40, 30, right());
  EXPECT_EQ(platform.menuTitles.size(), 1u);
  EXPECT_EQ(std::count(log.begin(), log.end(), "down"), 0);
}

TEST_F(GraphicsTest, RightClickOnAnUnlinkedControlIsAMouseDown) {
  attach({0, 0, 100, 100});
  g.OnMouseDown(40, 30, right());
  EXPECT_EQ(std::count(log.begin(), log.end(), "down"), 1);
}

TEST_F(GraphicsTest, DoubleClickResetsToTheSteppedDefault) {
  Probe* p = attach({0, 0, 100, 100}, GfxDelegate::kGain);
  p->SetValue(0.1);
  g.OnMouseDblClick(50, 50, left());
  EXPECT_NEAR(p->GetValue(), delegate.GetParam(GfxDelegate::kGain)->ToNormalized(0.0), 1e-12);
  EXPECT_EQ(g.GetCapturedControl(), nullptr);
  EXPECT_EQ(delegate.Count("set"), 1);

  p->SetMouseDblAsSingleClick(true);
  g.OnMouseDblClick(50, 50, left());
  EXPECT_EQ(std::count(log.begin(), log.end(), "down"), 1);
}

TEST_F(GraphicsTest, WheelGoesToTheControlUnderTheMouseWithoutCapture) {
  attach({0, 0, 100, 100});
  g.OnMouseWheel(50, 50, {}, 2.f);
  EXPECT_EQ(log.back(), "wheel");
  EXPECT_EQ(g.GetCapturedControl(), nullptr);
}

TEST_F(GraphicsTest, SnapToMouseOutsideTheBoundsGivesTheEnds) {
  Probe* p = attach({0, 0, 100, 100}, GfxDelegate::kPlain);
  const Rect bounds(0, 0, 100, 100);
  p->SnapToMouse(50, -40, Direction::kVertical, bounds);
  EXPECT_EQ(p->GetValue(), 1.0);
  p->SnapToMouse(50, 400, Direction::kVertical, bounds);
  EXPECT_EQ(p->GetValue(), 0.0);
  p->SnapToMouse(33.3333f, 0, Direction::kHorizontal, bounds);
  EXPECT_DOUBLE_EQ(p->GetValue(), 0.333);
  p->SnapToMouse(90, 0, Direction::kHorizontal, bounds, -1, 0.2, 0.6);
  EXPECT_DOUBLE_EQ(p->GetValue(), 0.6);
}

TEST_F(GraphicsTest, PromptForAnEnumListsItsTextsAndAppliesTheChoice) {
  Probe* p = attach({10, 10, 110, 30}, GfxDelegate::kMode);
  p->DisablePrompt(false);
  p->SetValue(0.5);  // "Firm"
  platform.menuAnswers = {2};
  p->PromptForValue(0);
  ASSERT_EQ(platform.menuTitles.size(), 1u);
  EXPECT_EQ(platform.menuTitles[0], "Mode");
  EXPECT_EQ(platform.menuItems[0], (std::vector<std::string>{"Soft", "Firm", "Hard"}));
  EXPECT_EQ(platform.menuChecks[0], (std::vector<bool>{false, true, false}));
  EXPECT_EQ(platform.popupBounds[0], p->GetRECT());  // display texts: the prompt covers the control
  EXPECT_DOUBLE_EQ(p->GetValue(), 1.0);
  EXPECT_EQ(delegate.Count("set"), 1);
  EXPECT_EQ(delegate.Count("end"), 1);  // the menu ends the control's gesture
  EXPECT_EQ(g.GetInPopupMenu(), nullptr);
}

TEST_F(GraphicsTest, PromptForABoolWithTextsIsAMenuAndDismissingPassesNoMenu) {
  Probe* p = attach({10, 10, 110, 30}, GfxDelegate::kSwitch);
  p->DisablePrompt(false);
  platform.menuAnswers = {-1};
  p->PromptForValue(0);
  EXPECT_EQ(platform.menuItems.at(0), (std::vector<std::string>{"Off", "On"}));
  EXPECT_EQ(p->menuChoices, std::vector<int>{-99});
  EXPECT_DOUBLE_EQ(p->GetValue(), 0.0);
}

TEST_F(GraphicsTest, PromptForANumberOpensATextEntryAndCommitsTheParsedValue) {
  Probe* p = attach({100, 100, 200, 140}, GfxDelegate::kGain);
  p->DisablePrompt(false);
  p->SetPromptShowsParamLabel(true);
  p->SetValue(delegate.GetParam(GfxDelegate::kGain)->ToNormalized(-6.0));
  platform.textAnswers = {std::string("-12.3")};
  p->PromptForValue(0);
  ASSERT_EQ(platform.textInitials.size(), 1u);
  EXPECT_EQ(platform.textInitials[0].substr(0, 4), "-6.0");
  EXPECT_NE(platform.textInitials[0].find("dB"), std::string::npos);
  EXPECT_EQ(platform.popupBounds[0], Rect(130, 112, 170, 128));  // 40 x 16 on the centre
  // Rounded to the 0.5 dB step.
  EXPECT_NEAR(delegate.GetParam(GfxDelegate::kGain)->FromNormalized(p->GetValue()), -12.5, 1e-9);
  EXPECT_EQ(g.GetInTextEntry(), nullptr);
}

TEST_F(GraphicsTest, PromptingDisabledOpensNothing) {
  Probe* p = attach({0, 0, 100, 100}, GfxDelegate::kGain);
  p->PromptForValue(0);
  EXPECT_TRUE(platform.textInitials.empty());
  EXPECT_TRUE(platform.menuTitles.empty());
}

TEST_F(GraphicsTest, TextEntryOnAnUnlinkedValueHandsTheTextToTheControl) {
  Probe* p = attach({0, 0, 100, 100});
  platform.textAnswers = {std::string("hello"), std::nullopt};
  g.OpenTextEntry(*p, kDefaultText, p->GetRECT(), "x");
  EXPECT_EQ(p->typed, std::vector<std::string>{"hello"});
  g.OpenTextEntry(*p, kDefaultText, p->GetRECT(), "x");  // cancelled: nothing arrives
  EXPECT_EQ(p->typed.size(), 1u);
}

TEST_F(GraphicsTest, AResizeIsARequestUntilTheWindowReportsItsSize) {
  g.SetScaleConstraints(0.5f, 2.f);
  Probe* p = attach({0, 0, 10, 10});
  g.DrawAll();
  g.OnMouseDown(5, 5, left());  // a drag going on (the corner grip's) keeps its capture

  g.Resize(400, 300, 0.2f);  // clamped to 0.5 and asked of the window; nothing changes yet
  ASSERT_EQ(platform.windowSizes.size(), 1u);
  EXPECT_EQ(platform.windowSizes[0], std::make_pair(200, 150));
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.f);
  EXPECT_FALSE(p->IsDirty());

  g.OnWindowResized(200, 150);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 0.5f);
  EXPECT_TRUE(p->IsDirty());
  EXPECT_EQ(log.back(), "resize");
  EXPECT_EQ(g.GetCapturedControl(), p);

  // The largest scale that fits, within the limits, whatever the window's shape or size.
  const std::vector<std::pair<std::pair<int, int>, float>> fits = {
      {{600, 900}, 1.5f}, {{1000, 300}, 1.f}, {{32767, 32767}, 2.f}, {{10, 10}, 0.5f}};
  for (const auto& [size, scale] : fits) {
    g.OnWindowResized(size.first, size.second);
    EXPECT_FLOAT_EQ(g.GetDrawScale(), scale) << size.first << " x " << size.second;
  }
  g.Resize(500, 300, 1.f, false);  // without the window: at once
  EXPECT_EQ(g.Width(), 500);
  EXPECT_EQ(platform.windowSizes.size(), 1u);
}

TEST_F(GraphicsTest, TheAreaAHiddenOrMovedControlLeftIsDrawnAgainFromWhatIsUnderIt) {
  Probe* under = attach({0, 0, 100, 100});
  Probe* over = attach({10, 10, 30, 30});
  g.DrawAll();
  under->draws = over->draws = 0;
  RectList rects;
  auto drawn = [&] {
    Rect all;
    if (g.IsDirty(rects)) g.Draw(rects);
    for (const Rect& r : rects) all = all.Union(r);
    return all;
  };
  over->Hide(true);
  const Rect shaded = drawn();
  EXPECT_EQ(under->draws, 1);
  EXPECT_EQ(over->draws, 0);
  EXPECT_EQ(shaded, Rect(9, 9, 31, 31));  // with the anti-aliased fringe
  EXPECT_TRUE(drawn().Empty());
  over->Hide(false);
  over->Hide(false);  // no change: nothing more to draw
  EXPECT_EQ(drawn(), Rect(9, 9, 31, 31));
  EXPECT_EQ(over->draws, 1);
  over->SetTargetAndDrawRECTs({50, 50, 60, 60});
  EXPECT_EQ(drawn(), Rect(9, 9, 61, 61));  // the old place and the new
}

TEST_F(GraphicsTest, DirtyRectanglesAreSnappedMergedAndOnlyCoverDirtyControls) {
  Probe* a = attach({10.2f, 10.2f, 20.2f, 20.2f});
  Probe* b = attach({20.2f, 10.2f, 30.6f, 20.2f});  // adjoins a
  Probe* far = attach({200, 200, 220, 220});
  RectList rects;
  g.IsDirty(rects);
  g.Draw(rects);  // the first frame draws everything
  a->draws = b->draws = far->draws = 0;
  g.regions.clear();

  EXPECT_FALSE(g.IsDirty(rects));
  a->SetDirty(false);
  b->SetDirty(false);
  ASSERT_TRUE(g.IsDirty(rects));
  g.Draw(rects);
  ASSERT_EQ(rects.Size(), 1);
  EXPECT_EQ(rects.Get(0), Rect(9, 9, 32, 21));  // each with the 0.75-unit fringe
  EXPECT_EQ(a->draws, 1);
  EXPECT_EQ(b->draws, 1);
  EXPECT_EQ(far->draws, 0);
  EXPECT_FALSE(a->IsDirty());
  // The background is drawn first, then a and b, each clipped to its widened rectangle.
  ASSERT_EQ(g.regions.size(), 3u);
  EXPECT_EQ(g.regions[0], Rect(9, 9, 32, 21));
  EXPECT_EQ(g.regions[1], Rect(9, 9, 21, 21));
}

TEST_F(GraphicsTest, SnappingFollowsTheDeviceScale) {
  g.Resize(400, 300, 1.5f, false);
  Probe* a = attach({10.1f, 10.1f, 20.1f, 20.1f});
  RectList rects;
  g.IsDirty(rects);
  g.Draw(rects);
  a->SetDirty(false);
  g.IsDirty(rects);
  g.Draw(rects);
  ASSERT_EQ(rects.Size(), 1);
  // With the fringe: 9.35 x 1.5 = 14.03 -> 14 px; 20.85 x 1.5 = 31.28 -> 32 px.
  EXPECT_FLOAT_EQ(rects.Get(0).L, 14.f / 1.5f);
  EXPECT_FLOAT_EQ(rects.Get(0).R, 32.f / 1.5f);
}

TEST_F(GraphicsTest, HiddenControlsAreNotDrawnButTheHiddenBackgroundIs) {
  Probe* a = attach({10, 10, 20, 20});
  a->Hide(true);
  g.GetBackgroundControl()->Hide(true);
  g.DrawAll();
  EXPECT_EQ(a->draws, 0);
  EXPECT_FALSE(g.regions.empty());  // the background region
}

TEST_F(GraphicsTest, ContainersHideTheirChildrenAndClipThem) {
  auto* panel = static_cast<PanelControl*>(g.AttachControl(std::make_unique<PanelControl>(Rect(0, 0, 50, 50), kColorBlue)));
  auto* child = static_cast<Probe*>(panel->AddChildControl(std::make_unique<Probe>(Rect(40, 40, 80, 80))));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(g.GetControlIdx(child), g.GetControlIdx(panel) + 1);
  g.regions.clear();
  g.DrawAll();
  EXPECT_EQ(g.regions.back(), Rect(39, 39, 50, 50));  // widened, snapped, clipped by the container
  panel->Hide(true);
  EXPECT_TRUE(child->IsHidden());
  panel->SetDisabled(true);
  EXPECT_TRUE(child->IsDisabled());
}

TEST_F(GraphicsTest, TextControlSizedToItsTextRecentresOnTheOldCentre) {
  auto* t = static_cast<TextControl*>(
      g.AttachControl(std::make_unique<TextControl>(Rect(0, 0, 100, 40), "abcd", kDefaultText, kColorTransparent, true)));
  // The recording back end measures 7 units per character at size 14, 14 high.
  EXPECT_EQ(t->GetRECT(), Rect(36, 13, 64, 27));
  t->SetClean();
  t->SetStr("abcd");
  EXPECT_FALSE(t->IsDirty());
  t->SetStrFmt(16, "%d%%", 12);
  EXPECT_EQ(t->GetStr(), "12%");
  EXPECT_EQ(t->GetRECT(), Rect(39.5f, 13, 60.5f, 27));
  EXPECT_TRUE(t->IsDirty());
}

TEST_F(GraphicsTest, MessageBoxReleasesTheCaptureAndReturnsTheAnswer) {
  attach({0, 0, 10, 10});
  g.OnMouseDown(5, 5, left());
  MessageBoxResult seen = MessageBoxResult::kNone;
  EXPECT_EQ(g.ShowMessageBox("m", "c", MessageBoxType::kOK, [&](MessageBoxResult r) { seen = r; }), MessageBoxResult::kOK);
  EXPECT_EQ(seen, MessageBoxResult::kOK);
  EXPECT_EQ(g.GetCapturedControl(), nullptr);
}

}  // namespace
}  // namespace plugkit::gfx
