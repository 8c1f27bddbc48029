// In-window menus, text fields and message boxes, driven through the window's input interface
// (presses, keys and text in device pixels) over the recording back end.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "gfx/graphics_recording.h"
#include "platform/window/editor_view.h"
#include "tests/support/gfx_doubles.h"

namespace plugkit::platform {
namespace {

using gfx::Key;
using gfx::KeyPress;

KeyPress key(Key k, bool shift = false) {
  KeyPress p;
  p.key = k;
  p.S = shift;
  return p;
}

class Target : public gfx::Control {
 public:
  using Control::Control;
  void Draw(gfx::Graphics&) override {}
  void OnMenuChoice(const gfx::PopupMenu* menu, int) override { choices.push_back(menu ? menu->ChosenItemIdx() : -1); }
  void OnTextEntryDone(const std::string& text, int) override { typed.push_back(text); }
  std::vector<int> choices;
  std::vector<std::string> typed;
};

class OverlaysTest : public ::testing::Test {
 protected:
  OverlaysTest() : g(delegate, 400, 300, 2.f), view(g) {
    target = static_cast<Target*>(g.AttachControl(std::make_unique<Target>(gfx::Rect(10, 10, 50, 30))));
    menu.AddItem("Alpha");
    menu.AddItem("Beta", -1, gfx::PopupMenu::Item::kDisabled);
    menu.AddSeparator();
    menu.AddItem("Section", -1, gfx::PopupMenu::Item::kTitle);
    menu.AddItem("Gamma", -1, gfx::PopupMenu::Item::kChecked);
    auto sub = std::make_unique<gfx::PopupMenu>("", false, false, std::vector<std::string>{"One", "Two"});
    menu.AddItem("More", std::move(sub));
  }
  void press(Key k, bool shift = false) { view.KeyDown(key(k, shift)); }
  // Clicks at editor units (the view takes device pixels; the scale is 2).
  void click(float x, float y) {
    view.MouseDown(2 * x, 2 * y, Button::kLeft, {});
    view.MouseUp(2 * x, 2 * y, Button::kLeft, {});
  }

  plumbrook::test::GfxDelegate delegate;
  gfx::GraphicsRecording g;
  EditorView view;
  Target* target;
  gfx::PopupMenu menu{"Choose"};
};

TEST_F(OverlaysTest, MenuKeyboardSkipsDisabledSeparatorsAndTitles) {
  g.OpenPopupMenu(*target, menu, target->GetRECT());
  ASSERT_TRUE(view.OverlayOpen());
  auto* m = static_cast<MenuOverlay*>(view.CurrentOverlay());
  press(Key::kDown);
  EXPECT_EQ(m->Highlighted(), 0);
  press(Key::kDown);
  EXPECT_EQ(m->Highlighted(), 4);  // Beta (disabled), the separator and the title are skipped
  press(Key::kUp);
  EXPECT_EQ(m->Highlighted(), 0);
  press(Key::kUp);
  EXPECT_EQ(m->Highlighted(), 5);  // wraps to the last
  press(Key::kUp);
  press(Key::kEnter);
  EXPECT_FALSE(view.OverlayOpen());
  EXPECT_EQ(target->choices, std::vector<int>{4});
  EXPECT_EQ(g.GetInPopupMenu(), nullptr);
}

TEST_F(OverlaysTest, SubMenusOpenWithRightAndCloseWithLeftOrEscape) {
  gfx::PopupMenu* chosen = nullptr;
  int calls = 0;
  view.ShowPopupMenu(menu, gfx::Rect(10, 10, 10, 10), [&](gfx::PopupMenu* m) { chosen = m, ++calls; });
  auto* m = static_cast<MenuOverlay*>(view.CurrentOverlay());
  press(Key::kUp);  // "More"
  press(Key::kRight);
  EXPECT_EQ(m->OpenLevels(), 2);
  EXPECT_EQ(m->Highlighted(), 0);
  press(Key::kLeft);
  EXPECT_EQ(m->OpenLevels(), 1);
  press(Key::kRight);
  press(Key::kEscape);
  EXPECT_EQ(m->OpenLevels(), 1);
  EXPECT_TRUE(view.OverlayOpen());
  press(Key::kRight);
  press(Key::kDown);
  press(Key::kEnter);
  EXPECT_EQ(calls, 1);
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen, menu.GetItem(5)->Submenu());
  EXPECT_EQ(chosen->ChosenItemIdx(), 1);
}

TEST_F(OverlaysTest, EscapeOrAClickOutsideDismissesTheMenu) {
  g.OpenPopupMenu(*target, menu, target->GetRECT());
  press(Key::kDown);
  press(Key::kEscape);
  EXPECT_EQ(target->choices, std::vector<int>{-1});
  g.OpenPopupMenu(*target, menu, target->GetRECT());
  click(390, 290);
  EXPECT_EQ(target->choices, (std::vector<int>{-1, -1}));
  EXPECT_FALSE(view.OverlayOpen());
}

TEST_F(OverlaysTest, ClickingAnItemChoosesItAndDisabledItemsDoNothing) {
  g.OpenPopupMenu(*target, menu, gfx::Rect(100, 100, 100, 100));
  // The menu opens below the anchor: title row 100..124 (with the 2-unit border), items follow.
  click(120, 124 + 22 + 11);  // Beta: disabled
  EXPECT_TRUE(view.OverlayOpen());
  click(120, 124 + 11);  // Alpha
  EXPECT_EQ(target->choices, std::vector<int>{0});
}

TEST_F(OverlaysTest, AMenuIsDrawnWithItsTextsAndCheckMark) {
  g.OpenPopupMenu(*target, menu, target->GetRECT());
  g.Clear();
  g.BeginFrame();
  view.DrawOverlay(g);
  g.EndFrame();
  std::vector<std::string> texts;
  for (const auto& op : g.OpsOf("text")) texts.push_back(op.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Choose", "Alpha", "Beta", "Section", "Gamma", "More"}));
  EXPECT_GE(g.OpsOf("stroke").size(), 3u);  // border, separator, check mark strokes
}

TEST_F(OverlaysTest, TextFieldEditsWithCaretSelectionAndLimit) {
  std::vector<std::string> results;
  view.ShowTextEntry(gfx::kDefaultText, gfx::Rect(10, 10, 110, 30), "12.5", 7,
                     [&](const std::optional<std::string>& s) { results.push_back(s.value_or("(cancelled)")); });
  auto* t = static_cast<TextFieldOverlay*>(view.CurrentOverlay());
  view.TextInput("-3");  // replaces the selected initial text
  EXPECT_EQ(t->Value(), "-3");
  press(Key::kHome);
  view.TextInput("x");
  EXPECT_EQ(t->Value(), "x-3");
  press(Key::kDelete);
  EXPECT_EQ(t->Value(), "x3");
  press(Key::kEnd);
  press(Key::kBackspace);
  EXPECT_EQ(t->Value(), "x");
  view.TextInput("123456789");  // limited to 7 characters
  EXPECT_EQ(t->Value(), "x123456");
  press(Key::kLeft, true);
  press(Key::kLeft, true);
  EXPECT_EQ(t->SelectionAnchor() - t->Caret(), 2);
  view.TextInput("é");
  EXPECT_EQ(t->Value(), "x1234é");
  press(Key::kRight);
  press(Key::kEnter);
  EXPECT_EQ(results, std::vector<std::string>{"x1234é"});
  EXPECT_FALSE(view.OverlayOpen());
}

TEST_F(OverlaysTest, EscapeCancelsAndAClickOutsideCommits) {
  for (int round = 0; round < 2; ++round) {  // a cancelled entry leaves typing available
    g.OpenTextEntry(*target, gfx::kDefaultText, gfx::Rect(10, 10, 110, 30), "a");
    view.TextInput("b");
    press(Key::kEscape);
    EXPECT_TRUE(target->typed.empty());
    EXPECT_EQ(g.GetInTextEntry(), nullptr);
  }
  g.OpenTextEntry(*target, gfx::kDefaultText, gfx::Rect(10, 10, 110, 30), "a");
  press(Key::kEnd);
  view.TextInput("c");
  click(50, 20);  // inside: moves the caret only
  EXPECT_TRUE(view.OverlayOpen());
  click(300, 200);
  EXPECT_EQ(target->typed, std::vector<std::string>{"ac"});
  EXPECT_EQ(g.GetInTextEntry(), nullptr);
}

TEST_F(OverlaysTest, TheTextFieldUsesTheEditingLook) {
  view.ShowTextEntry(gfx::kDefaultText.WithAlign(gfx::Align::kNear), gfx::Rect(10, 10, 110, 30), "12.5", 7,
                     [](const std::optional<std::string>&) {});
  g.Clear();
  g.BeginFrame();
  view.DrawOverlay(g);
  g.EndFrame();
  auto grey = [](const gfx::FloatColor& c) {  // the grey level of an opaque grey, else -1
    return c.r == c.g && c.g == c.b && c.a == 1.f ? static_cast<int>(std::lround(c.r * 255.f)) : -1;
  };
  const auto fills = g.OpsOf("fill");
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(grey(fills.front().color), 30);
  const auto texts = g.OpsOf("text");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(grey(texts.front().color), 250);
  EXPECT_EQ(texts.front().anchor.align, gfx::Align::kCenter);
  EXPECT_FLOAT_EQ(texts.front().anchor.x, 60.f);
  for (const auto& stroke : g.OpsOf("stroke"))  // no focus ring: only the caret, in the text's colour
    EXPECT_EQ(grey(stroke.color), 250);
}

TEST_F(OverlaysTest, APopUpTakesTheHoverAndGivesItBackWhereThePointerIs) {
  struct Hover : gfx::Control {
    using Control::Control;
    void Draw(gfx::Graphics&) override {}
    bool Over() const { return mouseIsOver_; }
  };
  g.EnableMouseOver(true);
  auto* left = static_cast<Hover*>(g.AttachControl(std::make_unique<Hover>(gfx::Rect(100, 200, 150, 250))));
  auto* right = static_cast<Hover*>(g.AttachControl(std::make_unique<Hover>(gfx::Rect(300, 200, 350, 250))));
  view.MouseMove(2 * 120, 2 * 220, {});
  ASSERT_TRUE(left->Over());
  g.ShowMessageBox("Replace it?", "Preset", MessageBoxType::kYesNo, [](MessageBoxResult) {});
  EXPECT_FALSE(left->Over());
  view.MouseMove(2 * 320, 2 * 220, {});
  press(Key::kEscape);
  EXPECT_FALSE(view.OverlayOpen());
  EXPECT_FALSE(left->Over());
  EXPECT_TRUE(right->Over());
}

TEST_F(OverlaysTest, TypedTextReachesTheLinkedParameter) {
  auto* caption = static_cast<gfx::CaptionControl*>(
      g.AttachControl(std::make_unique<gfx::CaptionControl>(gfx::Rect(100, 100, 160, 120), plumbrook::test::GfxDelegate::kGain)));
  view.MouseDown(260, 220, Button::kLeft, {});
  ASSERT_TRUE(view.OverlayOpen());
  view.TextInput("-6");
  press(Key::kEnter);
  EXPECT_NEAR(delegate.GetParam(plumbrook::test::GfxDelegate::kGain)->FromNormalized(caption->GetValue()), -6.0, 1e-9);
}

TEST_F(OverlaysTest, MessageBoxesHaveTheirButtonsAndResults) {
  using R = MessageBoxResult;
  std::vector<R> results;
  auto done = [&](R r) { results.push_back(r); };
  EXPECT_EQ(g.ShowMessageBox("Delete it?", "Preset", MessageBoxType::kYesNoCancel, done), R::kNone);
  auto* box = static_cast<MessageBoxOverlay*>(view.CurrentOverlay());
  ASSERT_EQ(box->Buttons().size(), 3u);
  EXPECT_EQ(box->Buttons()[2].first, "Cancel");
  click(5, 5);  // modal: outside clicks do nothing
  EXPECT_TRUE(view.OverlayOpen());
  press(Key::kEscape);  // dismissed Yes-No-Cancel gives Cancel
  g.ShowMessageBox("m", "c", MessageBoxType::kYesNo, done);
  press(Key::kRight);
  press(Key::kEnter);
  g.ShowMessageBox("m", "c", MessageBoxType::kRetryCancel, done);
  press(Key::kEnter);
  g.ShowMessageBox("m", "c", MessageBoxType::kOKCancel, done);
  press(Key::kTab);
  press(Key::kSpace);
  EXPECT_EQ(results, (std::vector<R>{R::kCancel, R::kNo, R::kRetry, R::kCancel}));
}

TEST_F(OverlaysTest, MessageBoxButtonsAnswerClicks) {
  MessageBoxResult result = MessageBoxResult::kNone;
  g.ShowMessageBox("Saved.", "Preset", MessageBoxType::kOK, [&](MessageBoxResult r) { result = r; });
  // One button, 76 x 26, 12 units in from the box's bottom right; the box is 360 x 140, centred.
  const gfx::Rect box = g.GetBounds().GetCentredInside(360, 140);
  click(box.R - 12 - 38, box.B - 12 - 13);
  EXPECT_EQ(result, MessageBoxResult::kOK);
}

TEST_F(OverlaysTest, ClosingTheWindowAbandonsAnOpenMenu) {
  {
    gfx::GraphicsRecording g2(delegate, 100, 100);
    auto* t = static_cast<Target*>(g2.AttachControl(std::make_unique<Target>(gfx::Rect(0, 0, 10, 10))));
    int calls = 0;
    {
      EditorView v2(g2);
      v2.ShowPopupMenu(menu, gfx::Rect(), [&](gfx::PopupMenu* m) { EXPECT_EQ(m, nullptr); ++calls; });
    }
    EXPECT_EQ(calls, 1);
    (void)t;
  }
}

TEST_F(OverlaysTest, TwoQuickPressesAreADoubleClick) {
  struct Counter : gfx::Control {
    using Control::Control;
    void Draw(gfx::Graphics&) override {}
    void OnMouseDown(float, float, const gfx::MouseMod&) override { ++downs; }
    void OnMouseDblClick(float, float, const gfx::MouseMod&) override { ++doubles; }
    int downs = 0, doubles = 0;
  };
  auto* c = static_cast<Counter*>(g.AttachControl(std::make_unique<Counter>(gfx::Rect(200, 200, 250, 250))));
  click(220, 220);
  click(221, 220);
  click(222, 220);
  EXPECT_EQ(c->downs, 2);
  EXPECT_EQ(c->doubles, 1);
}

TEST(OpenUrl, OnlyWebAddressesAreOpened) {
  EXPECT_FALSE(OpenUrlInBrowser("file:///etc/passwd"));
  EXPECT_FALSE(OpenUrlInBrowser("javascript:alert(1)"));
  EXPECT_FALSE(OpenUrlInBrowser("--help"));
  EXPECT_FALSE(OpenUrlInBrowser("https://example.com/\nfile:///x"));
  EXPECT_FALSE(OpenUrlInBrowser(""));
}

}  // namespace
}  // namespace plugkit::platform
