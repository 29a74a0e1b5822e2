// Step 4: the checksum comparison, which ends the run.
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "upgrade/Sequencer.h"
#include "upgrade/SequencerVars.h"

void TTarvikUPSForm::StepChecksum() {
  uint8_t buffer[kTickBufferBytes] = {};
  switch (packet::ReadStepwise(*RIComm, buffer, kChecksumFirstLimit_ms, kChecksumRestLimit_ms)) {
    case packet::Outcome::kNoReply:
      SilenceReport("No Response!");
      break;
    case packet::Outcome::kNak:
      CountedFailure("Rx: NAK!");
      break;
    case packet::Outcome::kStrayByte:
    case packet::Outcome::kLostHeader:
      break;
    case packet::Outcome::kSumError:
      CountedFailure("Rx: CheckSum Error!");
      break;
    case packet::Outcome::kValid:
      FailCount = 0;
      BurnStep = kStepFinished;
      Burning = false;
      if (buffer[1] == static_cast<uint8_t>(protocol::Command::kChecksumComparison) &&
          buffer[protocol::kHeaderBytes] == 0) {
        ShowStatus(AddrBytes == 2 ? "UPS: Upgrade OK!" : "UPS: Checksum Comparison OK!", clBlue);
        PB_BURN->SetPosition(PB_BURN->Max());
      } else {
        ShowStatus("UPS: Checksum Comparison Failed!", clRed);
      }
      return;
  }

  const uint32_t expected = (RomSize - static_cast<uint32_t>(BurnedBytes)) * 255u + ImageSum;
  // Every run waits for the UPS's verdict, 2-byte listings too: the UPS is the only one that
  // knows whether the image it holds is whole, and a run must not end blue on its refusal.
  packet::SendRequest(*RIComm, packet::ChecksumComparisonRequest(static_cast<uint16_t>(expected)));
}
