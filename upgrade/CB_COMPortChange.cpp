// Picking another port closes the open one; the user opens the new one with "&Open".
#include "serial/TRIComm.h"
#include "shell/Main.h"

void TTarvikUPSForm::CB_COMPortChange(TObject* /*Sender*/) {
  if (OpenOnClick) return;
  if (ComOpened) RIComm->Close();
  ComOpened = false;
  OpenOnClick = true;
  BUT_OPEN->SetCaption("&Open");
}
