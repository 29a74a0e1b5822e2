#include "shell/Main.h"

// Not built yet.
void TTarvikUPSForm::CB_COMPortChange(TObject* /*Sender*/) {}
