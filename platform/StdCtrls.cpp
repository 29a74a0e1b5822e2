#include "platform/StdCtrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

TGroupBox::TGroupBox(TControl* parent)
    : TControl(parent, new QGroupBox(parent->Widget())), box_(static_cast<QGroupBox*>(widget_)) {}

std::string TGroupBox::Caption() const { return FromQString(box_->title()); }
void TGroupBox::SetCaption(const std::string& caption) { box_->setTitle(ToQString(caption)); }

TButton::TButton(TControl* parent)
    : TControl(parent, new QPushButton(parent->Widget())),
      button_(static_cast<QPushButton*>(widget_)) {
  button_->setAutoDefault(false);
  QObject::connect(button_, &QPushButton::clicked, [this] {
    if (OnClick) OnClick(this);
  });
}

std::string TButton::Caption() const { return FromQString(button_->text()); }
void TButton::SetCaption(const std::string& caption) { button_->setText(ToQString(caption)); }
void TButton::SetDefault(bool is_default) { button_->setDefault(is_default); }
bool TButton::Default() const { return button_->isDefault(); }

void TButton::Click() {
  if (Enabled() && OnClick) OnClick(this);
}

TComboBox::TComboBox(TControl* parent)
    : TControl(parent, new QComboBox(parent->Widget())), combo_(static_cast<QComboBox*>(widget_)) {
  combo_->setEditable(false);
  QObject::connect(combo_, &QComboBox::activated, [this](int) {
    if (OnChange) OnChange(this);
  });
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  combo_->clear();
  for (const auto& item : items) combo_->addItem(ToQString(item));
  combo_->setCurrentIndex(-1);
}

std::vector<std::string> TComboBox::Items() const {
  std::vector<std::string> items;
  for (int i = 0; i < combo_->count(); ++i) items.push_back(FromQString(combo_->itemText(i)));
  return items;
}

int TComboBox::ItemIndex() const { return combo_->currentIndex(); }
void TComboBox::SetItemIndex(int index) { combo_->setCurrentIndex(index); }
std::string TComboBox::Text() const { return FromQString(combo_->currentText()); }

void TComboBox::Choose(int index) {
  if (!Enabled()) return;
  combo_->setCurrentIndex(index);
  if (OnChange) OnChange(this);
}

TCheckBox::TCheckBox(TControl* parent)
    : TControl(parent, new QCheckBox(parent->Widget())), check_(static_cast<QCheckBox*>(widget_)) {}

std::string TCheckBox::Caption() const { return FromQString(check_->text()); }
void TCheckBox::SetCaption(const std::string& caption) { check_->setText(ToQString(caption)); }
bool TCheckBox::Checked() const { return check_->isChecked(); }
void TCheckBox::SetChecked(bool checked) { check_->setChecked(checked); }

TLabel::TLabel(TControl* parent)
    : TControl(parent, new QLabel(parent->Widget())), label_(static_cast<QLabel*>(widget_)) {
  label_->setTextFormat(Qt::PlainText);
}

std::string TLabel::Caption() const { return FromQString(label_->text()); }

void TLabel::SetCaption(const std::string& caption) {
  label_->setText(ToQString(caption));
  if (auto_size_ && IsLoaded()) label_->resize(label_->sizeHint().width(), label_->height());
}

void TLabel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  Qt::Alignment a = Qt::AlignTop;
  switch (alignment) {
    case TAlignment::taLeftJustify:
      a |= Qt::AlignLeft;
      break;
    case TAlignment::taRightJustify:
      a |= Qt::AlignRight;
      break;
    case TAlignment::taCenter:
      a |= Qt::AlignHCenter;
      break;
  }
  label_->setAlignment(a);
}

void TLabel::SetAutoSize(bool auto_size) { auto_size_ = auto_size; }

void TLabel::SetTransparent(bool transparent) { label_->setAutoFillBackground(!transparent); }

TEdit::TEdit(TControl* parent)
    : TControl(parent, new QLineEdit(parent->Widget())), edit_(static_cast<QLineEdit*>(widget_)) {}

std::string TEdit::Text() const { return FromQString(edit_->text()); }
void TEdit::SetText(const std::string& text) { edit_->setText(ToQString(text)); }
void TEdit::SetReadOnly(bool read_only) { edit_->setReadOnly(read_only); }
bool TEdit::ReadOnly() const { return edit_->isReadOnly(); }

void TEdit::SetColor(TColor color) {
  color_ = color;
  ApplyPalette();
}

void TEdit::SetFontColor(TColor color) {
  font_color_ = color;
  ApplyPalette();
}

void TEdit::ApplyPalette() {
  QPalette palette = edit_->palette();
  palette.setColor(QPalette::Base, ToQColor(color_));
  palette.setColor(QPalette::Text, ToQColor(font_color_));
  edit_->setPalette(palette);
}
