// Step 1: the erase. The UPS answers the erase only when it is done, so wait up to 40 s.
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "upgrade/Sequencer.h"
#include "upgrade/SequencerVars.h"

void TTarvikUPSForm::StepErase() {
  if (EraseRequest) {
    EraseRequest = false;
    packet::SendRequest(*RIComm, packet::EraseRequest());
    return;
  }
  uint8_t buffer[kTickBufferBytes] = {};
  switch (packet::ReadStepwise(*RIComm, buffer, kEraseFirstLimit_ms, kEraseRestLimit_ms)) {
    case packet::Outcome::kNoReply:
      SilenceReport("No Response!");
      break;
    case packet::Outcome::kNak:
      ShowStatus("Rx: NAK!", clRed);  // not counted
      break;
    case packet::Outcome::kStrayByte:
    case packet::Outcome::kLostHeader:
      break;
    case packet::Outcome::kSumError:
      CountedFailure("Rx: CheckSum Error!");
      break;
    case packet::Outcome::kValid: {
      FailCount = 0;
      const packet::StatusVerdict verdict = packet::JudgeEraseStatus(packet::StatusByte(buffer));
      if (verdict.kind == packet::StatusVerdict::Kind::kSuccess) {
        ShowStatus("UPS: Sections Cleard!", kKeepColour);
        BurnStep = kStepProgram;
        PB_BURN->SetPosition(1);
        BurnedBytes = 0;
        FirstPacket = 1;
        LineIndex = 0;
        SentLine = 0;
        return;
      }
      if (verdict.kind == packet::StatusVerdict::Kind::kRefused) {
        ShowStatus(verdict.message, clRed);
        Burning = false;
      }
      break;
    }
  }
  packet::SendRequest(*RIComm, packet::EraseRequest());
}
