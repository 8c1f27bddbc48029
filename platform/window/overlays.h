// Pop-up menus, text fields and message boxes drawn inside the editor window, in the editor's look.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gfx/graphics.h"

namespace plugkit::platform {

/// One in-window pop-up. Coordinates are editor units; every member runs on the main thread.
class Overlay {
 public:
  virtual ~Overlay() = default;
  /// A press anywhere; returns false when the overlay has finished (closed) because of it.
  virtual bool MouseDown(float x, float y) = 0;
  /// The pointer moved; returns true when that changed the look (a highlight moved).
  virtual bool MouseMove(float, float) { return false; }
  /// A key; returns false when the overlay has finished.
  virtual bool Key(const gfx::KeyPress& key) = 0;
  virtual void Text(const std::u32string&) {}
  virtual void Draw(gfx::Graphics& g) = 0;
  /// Everything Draw may touch, its shadow included.
  virtual gfx::Rect Bounds() const = 0;
  /// Runs the completion as if dismissed (the window is closing).
  virtual void Abandon() = 0;
};

/// A menu with checked and disabled items, separators, titles and sub-menus.
class MenuOverlay : public Overlay {
 public:
  MenuOverlay(gfx::PopupMenu& menu, const gfx::Rect& anchor, const gfx::Rect& editorBounds,
              gfx::GraphicsPlatform::MenuDone done);
  bool MouseDown(float x, float y) override;
  bool MouseMove(float x, float y) override;
  bool Key(const gfx::KeyPress& key) override;
  void Draw(gfx::Graphics& g) override;
  gfx::Rect Bounds() const override;
  void Abandon() override { finish(nullptr, -1); }
  /// The highlighted item of the innermost open menu (-1 for none).
  int Highlighted() const { return levels_.back().highlight; }
  int OpenLevels() const { return static_cast<int>(levels_.size()); }

 private:
  struct Level {
    gfx::PopupMenu* menu;
    gfx::Rect bounds;
    int highlight;
  };
  gfx::Rect itemRect(const Level& l, int i) const;
  void openLevel(gfx::PopupMenu* menu, float x, float y);
  void move(int direction);
  bool activate(int levelIdx, int item);
  void finish(gfx::PopupMenu* chosen, int index);

  gfx::PopupMenu& root_;
  gfx::Rect editor_;
  gfx::GraphicsPlatform::MenuDone done_;
  std::vector<Level> levels_;
  bool finished_ = false;
};

/// A single-line text field with caret, selection and a length limit.
class TextFieldOverlay : public Overlay {
 public:
  TextFieldOverlay(const gfx::TextStyle& style, const gfx::Rect& bounds, const std::string& initial, int maxLength,
                   gfx::GraphicsPlatform::TextDone done);
  bool MouseDown(float x, float y) override;
  bool Key(const gfx::KeyPress& key) override;
  void Text(const std::u32string& text) override;
  void Draw(gfx::Graphics& g) override;
  gfx::Rect Bounds() const override { return bounds_; }
  void Abandon() override { cancel(); }
  std::string Value() const;
  int Caret() const { return caret_; }
  int SelectionAnchor() const { return anchor_; }

 private:
  void insert(const std::u32string& text);
  void eraseSelection();
  bool hasSelection() const { return anchor_ != caret_; }
  void commit();
  void cancel();

  gfx::TextStyle style_;
  gfx::Rect bounds_;
  std::u32string text_;
  int maxLength_;
  int caret_;
  int anchor_;
  gfx::GraphicsPlatform::TextDone done_;
  bool finished_ = false;
};

/// A modal box with a caption, a message and the buttons of its type.
class MessageBoxOverlay : public Overlay {
 public:
  MessageBoxOverlay(const std::string& message, const std::string& caption, MessageBoxType type,
                    const gfx::Rect& editorBounds, MessageBoxCompletion done);
  bool MouseDown(float x, float y) override;
  bool Key(const gfx::KeyPress& key) override;
  void Draw(gfx::Graphics& g) override;
  gfx::Rect Bounds() const override { return editor_; }  // the shade covers the editor
  void Abandon() override { finish(dismissResult()); }
  int Focused() const { return focus_; }
  const std::vector<std::pair<std::string, MessageBoxResult>>& Buttons() const { return buttons_; }

 private:
  gfx::Rect buttonRect(int i) const;
  MessageBoxResult dismissResult() const;
  void finish(MessageBoxResult result);

  std::string message_;
  std::string caption_;
  gfx::Rect box_;
  gfx::Rect editor_;
  std::vector<std::pair<std::string, MessageBoxResult>> buttons_;
  int focus_ = 0;
  MessageBoxCompletion done_;
  bool finished_ = false;
};

/// Converts UTF-8 to code points and back (invalid bytes become U+FFFD).
std::u32string FromUtf8(const std::string& s);
std::string ToUtf8(const std::u32string& s);

}  // namespace plugkit::platform
