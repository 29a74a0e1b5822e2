// The main window: construction, FormShow, FormClose and the status line.
#include "shell/Main.h"

#include "serial/TRIComm.h"
#include "upgrade/SequencerVars.h"

TTarvikUPSForm* TarvikUPSForm = nullptr;

TTarvikUPSForm::TTarvikUPSForm() {
  BuildStoredForm();
  ImageBuf.reset();
  CB_READ->SetChecked(true);
}

TTarvikUPSForm::~TTarvikUPSForm() = default;

void TTarvikUPSForm::FormShow(TObject* /*Sender*/) {
  OpenOnClick = true;
  CB_COMPort->SetItemIndex(0);
  CB_Default->SetItemIndex(1);
  ComOpened = false;
  FileLoaded = false;
  Burning = false;
  BurnedBytes = 0;
  BurnStep = kNoRun;
  StartAddr = 0;
  RomSize = 0xFFFF0000u;
}

void TTarvikUPSForm::FormClose(TObject* /*Sender*/, TCloseAction& /*Action*/) {
  // A run still in progress ends here: no later tick may touch the port or the image that
  // is freed below.
  Timer1->SetEnabled(false);
  Burning = false;
  TickStarted = false;
  BurnStep = kNoRun;
  if (ComOpened) {
    RIComm->Close();
    ComOpened = false;
  }
  ImageBuf.reset();
}

void TTarvikUPSForm::ShowStatus(const std::string& text, std::optional<TColor> colour) {
  if (colour) ED_MSG->SetFontColor(*colour);
  ED_MSG->SetText(text);
}
