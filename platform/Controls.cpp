#include "platform/Controls.h"

#include <QFontDatabase>
#include <QWidget>

QColor ToQColor(TColor color) {
  switch (color) {
    case clBtnFace:
      return QColor(0xF0, 0xF0, 0xF0);
    case clWindowText:
      return QColor(0, 0, 0);
    case clWindow:
      return QColor(0xFF, 0xFF, 0xFF);
    default:
      return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                    static_cast<int>((color >> 16) & 0xFF));
  }
}

QFont ToQFont(const TFontSpec& spec) {
  const bool fixed = spec.name == "Courier" || spec.name == "Courier New";
  QFont font =
      QFontDatabase::systemFont(fixed ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
  if (fixed) {
    font.setStyleHint(QFont::TypeWriter);
  } else {
    // The original sans face is narrow; a condensed face keeps every caption within the
    // bounds the window gives it.
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setStretch(QFont::Condensed);
  }
  if (spec.height < 0) {
    font.setPixelSize(-spec.height);
  } else if (spec.height > 0) {
    font.setPixelSize(spec.height);
  }
  return font;
}

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) { return text.toUtf8().toStdString(); }

TControl::TControl(TControl* parent, QWidget* widget) : widget_(widget), parent_(parent) {}

void TControl::SetBounds(int left, int top, int width, int height) {
  widget_->setGeometry(left, top, width, height);
}

int TControl::Left() const { return widget_->x(); }
int TControl::Top() const { return widget_->y(); }
int TControl::Width() const { return widget_->width(); }
int TControl::Height() const { return widget_->height(); }

bool TControl::Enabled() const { return widget_->isEnabled(); }
void TControl::SetEnabled(bool enabled) { widget_->setEnabled(enabled); }
bool TControl::Visible() const { return widget_->isVisible(); }
void TControl::SetVisible(bool visible) { widget_->setVisible(visible); }

void TControl::SetHint(const std::string& hint) {
  hint_ = hint;
  ApplyHint();
}

void TControl::SetShowHint(bool show) {
  show_hint_ = show;
  ApplyHint();
}

std::string TControl::EffectiveHint() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_) {
    if (!c->hint_.empty()) return c->hint_;
  }
  return {};
}

void TControl::ApplyHint() {
  widget_->setToolTip(show_hint_ ? ToQString(EffectiveHint()) : QString());
}
