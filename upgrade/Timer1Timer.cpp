// The tick of Timer1, every 10 ms: the upgrade sequencer. A tick judges the reply to the
// request an earlier tick sent, reacts, and sends the next request; at most one request is
// outstanding at any time.
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "upgrade/PortSpeeds.h"
#include "upgrade/Sequencer.h"
#include "upgrade/SequencerVars.h"

namespace {

// What a tick must change for the run to count as moving.
struct RunPosition {
  int32_t step;
  int32_t line;
  uint32_t read_offset;
  int position;
  bool erase_request;
  bool operator==(const RunPosition&) const = default;
};

RunPosition PositionOf(const TTarvikUPSForm& form) {
  return {form.BurnStep, LineIndex, form.ReadOffset, form.PB_BURN->Position(), form.EraseRequest};
}

}  // namespace

void TTarvikUPSForm::StartTransition() {
  TickStarted = true;
  LineIndex = 0;
  for (TControl* control : {static_cast<TControl*>(BUT_LOAD), static_cast<TControl*>(BUT_OPEN),
                            static_cast<TControl*>(BUT_BURN), static_cast<TControl*>(CB_COMPort),
                            static_cast<TControl*>(Button1), static_cast<TControl*>(CB_Default)}) {
    control->SetEnabled(false);
  }
  ShowStatus("", clBlue);
  BurnStep = kStepAddressInquiry;
  FailCount = 0;
  TicksWithoutProgress = 0;
  BlockMismatches = 0;
  RIComm->Flush();
}

void TTarvikUPSForm::StopTransition() {
  TickStarted = false;
  for (TControl* control : {static_cast<TControl*>(BUT_LOAD), static_cast<TControl*>(BUT_OPEN),
                            static_cast<TControl*>(BUT_BURN), static_cast<TControl*>(CB_COMPort),
                            static_cast<TControl*>(Button1), static_cast<TControl*>(CB_Default)}) {
    control->SetEnabled(true);
  }
  BurnStep = kNoRun;
  // Back to 2400 baud whatever ComOpened says; the port control is left as it is.
  RIComm->Close();
  RIComm->Open(SelectedPort(), kBaseSpeed);
}

void TTarvikUPSForm::Timer1Timer(TObject* /*Sender*/) {
  if (Burning && !TickStarted) {
    StartTransition();
  } else if (!Burning && TickStarted) {
    StopTransition();
  }
  if (!Burning) return;

  const RunPosition before = PositionOf(*this);
  switch (BurnStep) {
    case kStepAddressInquiry:
      StepAddressInquiry();
      break;
    case kStepErase:
      StepErase();
      break;
    case kStepProgram:
      StepProgram();
      break;
    case kStepReadBack:
      StepReadBack();
      break;
    case kStepChecksum:
      StepChecksum();
      break;
    default:
      break;
  }

  if (Burning && PositionOf(*this) == before) {
    if (++TicksWithoutProgress >= kMaxTicksWithoutProgress) {
      // The run ends as five counted failures would; it never ends on a blue line.
      if (ED_MSG->FontColor() != clRed) ShowStatus("No Response!", clRed);
      FailCount = kFailuresThatEndARun;
    }
  } else {
    TicksWithoutProgress = 0;
  }

  if (FailCount >= kFailuresThatEndARun) {
    Burning = false;
    FailCount = 0;
  }
}
