#include "shell/Main.h"

// Not built yet.
int32_t TTarvikUPSForm::ParseLine(int32_t /*index*/, int32_t* /*out*/) { return -1; }
int32_t TTarvikUPSForm::LinesContiguous(int32_t /*a*/, int32_t /*b*/) { return -1; }
bool TTarvikUPSForm::PrepareImage() { return false; }
void TTarvikUPSForm::BuildImage() {}
