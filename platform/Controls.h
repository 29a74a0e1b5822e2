// The base of our stand-ins for the window components: a control wraps one Qt widget and
// offers the properties and events that the window code uses, in the manner the window's
// description is written in (bounds in pixels relative to the parent, captions with "&"
// accelerators, hints looked up the chain of parents, colours as 0x00BBGGRR values).
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QWidget;

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

// A colour as 0x00BBGGRR, or a system colour (high byte 0x80).
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clWindow = 0x80000005;

QColor ToQColor(TColor color);

// A font by the names of the original description; the families map to this machine's
// sans and fixed-pitch fonts, and a negative height is a pixel height.
struct TFontSpec {
  std::string name = "MS Sans Serif";
  int height = -11;
  TColor color = clWindowText;
};
QFont ToQFont(const TFontSpec& spec);

QString ToQString(const std::string& text);
std::string FromQString(const QString& text);

class TControl : public TObject {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  QWidget* Widget() const { return widget_; }
  TControl* Parent() const { return parent_; }

  void SetBounds(int left, int top, int width, int height);
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;

  bool Enabled() const;
  void SetEnabled(bool enabled);
  bool Visible() const;
  void SetVisible(bool visible);

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show);
  // The hint shown: this control's own, else the first one up the chain of parents.
  std::string EffectiveHint() const;
  // Applies the hint chain to this control's tool tip (after the chain is complete).
  void ApplyHint();
  // Set once the stored form has been built; auto-sizing starts from then on.
  void MarkLoaded() { loaded_ = true; }
  bool IsLoaded() const { return loaded_; }

 protected:
  TControl(TControl* parent, QWidget* widget);
  QWidget* widget_;  // owned by its Qt parent (or by the form for a window)
  TControl* parent_;
  std::string hint_;
  bool show_hint_ = false;
  bool loaded_ = false;
};
