#include "platform/Forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>
#include <QWindow>

#include "platform/Dialogs.h"

class FormWidget final : public QWidget {
 public:
  explicit FormWidget(TForm* form) : form_(form) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QWidget::showEvent(event);
    if (!event->spontaneous()) form_->HandleShown();
  }
  void closeEvent(QCloseEvent* event) override {
    if (form_->HandleClose()) {
      event->accept();
    } else {
      event->ignore();
    }
  }

 private:
  TForm* form_;
};

TForm::TForm()
    : TControl(nullptr, new FormWidget(this)), window_(static_cast<FormWidget*>(widget_)) {
  window_->setAttribute(Qt::WA_QuitOnClose, false);
  SetFont(font_);
}

TForm::~TForm() {
  controls_.clear();
  delete window_;
}

std::string TForm::Caption() const { return FromQString(window_->windowTitle()); }
void TForm::SetCaption(const std::string& caption) { window_->setWindowTitle(ToQString(caption)); }

void TForm::SetClientSize(int width, int height) {
  window_->resize(width, height);
  if (border_style_ != TBorderStyle::bsSizeable) window_->setFixedSize(width, height);
}

int TForm::ClientWidth() const { return window_->width(); }
int TForm::ClientHeight() const { return window_->height(); }

void TForm::SetBorderStyle(TBorderStyle style) {
  border_style_ = style;
  if (style != TBorderStyle::bsSizeable) window_->setFixedSize(window_->size());
  SetBorderIcons(border_icons_);
}

void TForm::SetBorderIcons(TBorderIcons icons) {
  border_icons_ = icons;
  Qt::WindowFlags flags = border_style_ == TBorderStyle::bsToolWindow ? Qt::Tool : Qt::Window;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (icons.system_menu) {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (icons.minimize) flags |= Qt::WindowMinimizeButtonHint;
    if (icons.maximize && border_style_ == TBorderStyle::bsSizeable) {
      flags |= Qt::WindowMaximizeButtonHint;
    }
  }
  window_->setWindowFlags(flags);
}

void TForm::SetColor(TColor color) {
  QPalette palette = window_->palette();
  palette.setColor(QPalette::Window, ToQColor(color));
  window_->setPalette(palette);
  window_->setAutoFillBackground(true);
}

void TForm::SetFont(const TFontSpec& font) {
  font_ = font;
  window_->setFont(ToQFont(font));
}

void TForm::Show() {
  if (position_ == TPosition::poScreenCenter && !centred_) {
    centred_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      window_->move(area.center() - QPoint(window_->width() / 2, window_->height() / 2));
    }
  }
  window_->show();
}

void TForm::Hide() { window_->hide(); }

void TForm::ShowAndPaint() {
  Show();
  // Let the platform map and expose the window, then paint it now: the caller is about to
  // block this thread. Bounded, so that a platform that never exposes cannot hold us.
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    const QWindow* handle = window_->windowHandle();
    if (handle != nullptr && handle->isExposed()) break;
  }
  window_->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TForm::Close() { window_->close(); }

void TForm::Loaded() {
  for (const auto& control : controls_) {
    control->ApplyHint();
    control->MarkLoaded();
  }
  MarkLoaded();
}

void TForm::HandleShown() {
  if (OnShow) OnShow(this);
}

bool TForm::HandleClose() {
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseAction::caNone) return false;
  if (owner_app_ != nullptr && owner_app_->MainForm() == this) owner_app_->Terminate();
  return true;
}

namespace {
TApplication the_application;
int qt_argc = 1;
char qt_arg0[] = "upsfw";
char* qt_argv[] = {qt_arg0, nullptr};
}  // namespace

TApplication* Application = &the_application;

void TApplication::Initialize() {
  if (QCoreApplication::instance() == nullptr) new QApplication(qt_argc, qt_argv);
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  QGuiApplication::setApplicationDisplayName(ToQString(title));
}

void TApplication::Adopt(std::unique_ptr<TForm> form) {
  TForm* raw = form.get();
  forms_.push_back(std::move(form));
  raw->SetOwnerApplication(this);
  if (main_form_ == nullptr) main_form_ = raw;
  if (raw->VisibleAtCreation()) raw->Show();
}

void TApplication::Run() {
  if (main_form_ == nullptr) return;
  QApplication::exec();
}

void TApplication::Terminate() { QCoreApplication::exit(0); }

void TApplication::ShowException(const Exception& e) {
  ShowMessageBox(TMessageBoxRequest{nullptr, e.Message(), title_, true});
}

void TApplication::DestroyForms() {
  while (!forms_.empty()) forms_.pop_back();
  main_form_ = nullptr;
}
