// Stand-ins for the window and the application object.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/Controls.h"

class FormWidget;

// The exception class whose escape the application object shows in an error box.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

enum class TBorderStyle { bsSizeable, bsSingle, bsToolWindow };
enum class TPosition { poDesigned, poScreenCenter };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

struct TBorderIcons {
  bool system_menu = true;
  bool minimize = true;
  bool maximize = true;
};

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

class TForm : public TControl {
 public:
  TForm();
  ~TForm() override;

  std::string Caption() const;
  void SetCaption(const std::string& caption);
  void SetClientSize(int width, int height);
  int ClientWidth() const;
  int ClientHeight() const;
  void SetBorderStyle(TBorderStyle style);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderIcons(TBorderIcons icons);
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetPosition(TPosition position) { position_ = position; }
  TPosition Position() const { return position_; }
  void SetColor(TColor color);
  void SetFont(const TFontSpec& font);
  const TFontSpec& Font() const { return font_; }
  // Whether the stored form makes the window visible as soon as it is created.
  void SetVisibleAtCreation(bool visible) { visible_at_creation_ = visible; }
  bool VisibleAtCreation() const { return visible_at_creation_; }

  void Show();
  void Hide();
  // Shows the window and lets the platform expose and paint it before returning, for a
  // window that must be seen although its caller then blocks the thread.
  void ShowAndPaint();
  // Asks the window to close, as its close box does: OnClose runs, then it hides.
  void Close();

  TNotifyEvent OnShow;
  TCloseEvent OnClose;

  // Creates a control owned by this window.
  template <class T>
  T* Make(TControl* parent) {
    auto control = std::make_unique<T>(parent);
    T* raw = control.get();
    controls_.push_back(std::move(control));
    return raw;
  }
  // Runs once the stored form has been built: applies the hint chain.
  void Loaded();

  // Called by the platform window; not for the window code.
  void HandleShown();
  bool HandleClose();
  // The application object that created this window, if any.
  void SetOwnerApplication(class TApplication* app) { owner_app_ = app; }

 private:
  FormWidget* window_;
  class TApplication* owner_app_ = nullptr;
  std::vector<std::unique_ptr<TControl>> controls_;
  TBorderStyle border_style_ = TBorderStyle::bsSizeable;
  TBorderIcons border_icons_;
  TPosition position_ = TPosition::poDesigned;
  TFontSpec font_;
  bool visible_at_creation_ = false;
  bool centred_ = false;
};

class TApplication {
 public:
  // Makes the platform's application if there is none yet.
  void Initialize();
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);
  // Creates a window of class T and stores it in `ref`; the first one created is the main
  // window. Windows whose stored form makes them visible are shown at once.
  template <class T>
  void CreateForm(T*& ref) {
    auto form = std::make_unique<T>();
    ref = form.get();
    Adopt(std::move(form));
  }
  // Runs the message loop until the main window has been closed.
  void Run();
  // The error box of an escaping exception: its message, captioned with the title.
  void ShowException(const Exception& e);
  TForm* MainForm() const { return main_form_; }
  // Destroys the windows (done at the end of the program).
  void DestroyForms();
  // Quits the message loop.
  void Terminate();

 private:
  void Adopt(std::unique_ptr<TForm> form);
  std::string title_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* main_form_ = nullptr;
};

// The one application object.
extern TApplication* Application;
