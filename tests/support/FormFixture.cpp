#include "support/FormFixture.h"

#include <QLineEdit>

#include "serial/TRIComm.h"
#include "upgrade/SequencerVars.h"

void FormFixture::SetUp() {
  ResetSequencerVars();
  SetMessageBoxHandler([this](const TMessageBoxRequest& box) {
    boxes.push_back(RecordedBox{box.caption, box.text});
  });
  SetOpenDialogHandler([this](const TOpenDialog& dialog) {
    dialog_initial_dirs.push_back(dialog.InitialDir);
    return dialog_answer_;
  });
  form = std::make_unique<TTarvikUPSForm>();
  form->Timer1->SetEnabled(false);
  QObject::connect(static_cast<QLineEdit*>(form->ED_MSG->Widget()), &QLineEdit::textChanged,
                   [this](const QString& text) { status_history.push_back(text.toStdString()); });
  TarvikUPSForm = form.get();
  checking = std::make_unique<TFormChecking>();
  FormChecking = checking.get();
  form->Show();
}

void FormFixture::TearDown() {
  RIComm->Close();
  FormChecking = nullptr;
  TarvikUPSForm = nullptr;
  checking.reset();
  form.reset();
  SetMessageBoxHandler(nullptr);
  SetOpenDialogHandler(nullptr);
  ResetSequencerVars();
}
