#include "shell/Main.h"
#include "upgrade/SequencerVars.h"

void TTarvikUPSForm::CountedFailure(const std::string& text) {
  ShowStatus(text, clRed);
  ++FailCount;
}

void TTarvikUPSForm::SilenceReport(const std::string& text) {
  if (FailCount > 0) ShowStatus(text, clRed);
  ++FailCount;
}
