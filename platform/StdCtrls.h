// Stand-ins for the standard controls: group box, button, combo box, check box, label, edit.
#pragma once

#include <string>
#include <vector>

#include "platform/Controls.h"

class QGroupBox;
class QPushButton;
class QComboBox;
class QCheckBox;
class QLabel;
class QLineEdit;

class TGroupBox : public TControl {
 public:
  explicit TGroupBox(TControl* parent);
  std::string Caption() const;
  void SetCaption(const std::string& caption);

 private:
  QGroupBox* box_;
};

class TButton : public TControl {
 public:
  explicit TButton(TControl* parent);
  std::string Caption() const;  // with its "&" accelerator
  void SetCaption(const std::string& caption);
  // The default button: Enter activates it.
  void SetDefault(bool is_default);
  bool Default() const;
  // Presses the button as the user would: OnClick runs when the button is enabled.
  void Click();
  TNotifyEvent OnClick;

 private:
  QPushButton* button_;
};

// Style csDropDownList: a choice among the items, no typing.
class TComboBox : public TControl {
 public:
  explicit TComboBox(TControl* parent);
  void SetItems(const std::vector<std::string>& items);
  std::vector<std::string> Items() const;
  int ItemIndex() const;         // -1 for no selection
  void SetItemIndex(int index);  // as the program sets it: OnChange does not run
  std::string Text() const;
  // Picks an item as the user would: OnChange runs when the control is enabled.
  void Choose(int index);
  TNotifyEvent OnChange;

 private:
  QComboBox* combo_;
};

class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TControl* parent);
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  bool Checked() const;
  void SetChecked(bool checked);

 private:
  QCheckBox* check_;
};

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TControl {
 public:
  explicit TLabel(TControl* parent);
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  void SetAlignment(TAlignment alignment);
  TAlignment Alignment() const { return alignment_; }
  // Auto-size: the label's width follows its caption, its left edge stays.
  void SetAutoSize(bool auto_size);
  bool AutoSize() const { return auto_size_; }
  void SetTransparent(bool transparent);

 private:
  QLabel* label_;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  bool auto_size_ = true;
};

class TEdit : public TControl {
 public:
  explicit TEdit(TControl* parent);
  std::string Text() const;
  void SetText(const std::string& text);
  void SetReadOnly(bool read_only);
  bool ReadOnly() const;
  void SetColor(TColor color);
  TColor FontColor() const { return font_color_; }
  void SetFontColor(TColor color);

 private:
  void ApplyPalette();
  QLineEdit* edit_;
  TColor color_ = clWindow;
  TColor font_color_ = clWindowText;
};
