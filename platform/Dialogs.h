// Message boxes and the open dialog, each with a seam: by default they are shown to the
// person at the screen; tests and the headless front end install a handler that receives
// them instead.
#pragma once

#include <functional>
#include <optional>
#include <string>

class TForm;

// One message box: owner window, text, caption; one OK button.
struct TMessageBoxRequest {
  TForm* owner = nullptr;
  std::string text;
  std::string caption;
  bool error_icon = false;  // only the application's exception display shows an icon
};

using MessageBoxHandler = std::function<void(const TMessageBoxRequest&)>;

// Shows a message box with one OK button and no icon, owned by `owner`; returns when it
// has been closed.
void MessageBox(TForm* owner, const std::string& text, const std::string& caption);
void ShowMessageBox(const TMessageBoxRequest& request);
// Installs a handler in place of the modal box (an empty one restores the modal box).
void SetMessageBoxHandler(MessageBoxHandler handler);

class TOpenDialog;
// Answers an open dialog: the chosen path, or nothing for a cancelled dialog.
using OpenDialogHandler = std::function<std::optional<std::string>(const TOpenDialog&)>;
void SetOpenDialogHandler(OpenDialogHandler handler);

class TOpenDialog {
 public:
  explicit TOpenDialog(TForm* owner) : owner_(owner) {}
  std::string InitialDir;
  // Pairs of description and pattern separated by "|", as "S19 files (*s19)|*.s19".
  std::string Filter;
  std::string DefaultExt;
  std::string FileName;
  // Runs the dialog; true when a file was chosen (then in FileName).
  bool Execute();

 private:
  TForm* owner_;
};
