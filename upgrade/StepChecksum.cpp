#include "shell/Main.h"

// Not built yet.
void TTarvikUPSForm::StepChecksum() {}
