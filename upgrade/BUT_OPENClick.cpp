// "&Open" / "&Close": opens the selected port at 2400 baud, or closes it.
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "upgrade/PortSpeeds.h"

void TTarvikUPSForm::BUT_OPENClick(TObject* /*Sender*/) {
  if (OpenOnClick) {
    if (!RIComm->Open(SelectedPort(), kBaseSpeed)) {
      MessageBox(this, "Open COM Port Failed!", "");
      ComOpened = false;
      return;
    }
    ComOpened = true;
    OpenOnClick = false;
    BUT_OPEN->SetCaption("&Close");
    return;
  }
  if (ComOpened) RIComm->Close();
  ComOpened = false;
  OpenOnClick = true;
  BUT_OPEN->SetCaption("&Open");
}
