// Step 0: the address inquiry, the excluded range inquiry of 24-bit UPSes, and the target
// image of 2-byte listings.
#include <cstring>
#include <string>

#include "firmware/ListingAccess.h"
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "upgrade/Sequencer.h"
#include "upgrade/SequencerVars.h"

namespace {

void SendAddressInquiry(TTarvikUPSForm& form) {
  packet::SendRequest(*RIComm, packet::AddressInquiryRequest());
  form.ShowStatus("Inquiring Start/End Address!", clBlue);
}

}  // namespace

void TTarvikUPSForm::StepAddressInquiry() {
  uint8_t buffer[kTickBufferBytes] = {};
  switch (packet::ReadStepwise(*RIComm, buffer, kInquiryFirstLimit_ms, kInquiryRestLimit_ms)) {
    case packet::Outcome::kNoReply:
      SilenceReport("Inquiring Start Address: No Response!");
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
    case packet::Outcome::kValid: {
      const uint8_t length = buffer[2];
      const uint8_t* p = buffer + protocol::kHeaderBytes;
      switch (length) {
        case 2:
          StartAddr = protocol::FromLowFirst16(p);
          RomSize = kNarrowAreaEnd - StartAddr;
          ShowStatus("Erasing!", clBlue);
          break;
        case 4:
          StartAddr = protocol::FromLowFirst16(p);
          RomSize = protocol::FromLowFirst16(p + 2) - StartAddr + 1;
          ShowStatus("Erasing!", clBlue);
          break;
        case 6: {
          // The two 24-bit addresses do not enter the state: the area is without limit and
          // what must not be programmed comes from the excluded range inquiry.
          ShowStatus("Erasing!", clBlue);
          StartAddr = 0;
          RomSize = kUnboundedRomSize;
          packet::SendRequest(*RIComm, packet::ExcludedRangeInquiryRequest());
          const packet::ExcludedRange range = packet::ReadExcludedRangeReply(*RIComm);
          if (range.outcome == packet::Outcome::kSumError) {
            ShowStatus("Rx: CheckSum Error!", clRed);
            FailCount = kFailCountAfterBadExcludedRange;
            return;
          }
          if (range.outcome == packet::Outcome::kValid) {
            std::memcpy(ExcludeStart, range.start, sizeof ExcludeStart);
            std::memcpy(ExcludeEnd, range.end, sizeof ExcludeEnd);
          }
          break;
        }
        default:
          RomSize = 0;
          ShowStatus("Illegel ROM size!", clRed);
          Burning = false;
          break;
      }

      // Never erase a UPS that this run then cannot program.
      std::string why;
      if (Burning && MM_HEX->Lines.Count() == 0) {
        // Erasing for a file without data would leave the UPS with no firmware at all.
        ShowStatus("The file holds no data to program!", clRed);
        Burning = false;
      } else if (Burning && !ListingSendable(*this, &why)) {
        ShowStatus(why, clRed);
        Burning = false;
      }
      if (AddrBytes == 2 && !PrepareImage()) {
        ShowStatus("UPS: Allocate Memory Error!", kKeepColour);
        Burning = false;
      }
      BurnStep = kStepErase;
      FailCount = 0;
      EraseRequest = true;
      return;
    }
  }
  // A failure that ends the run (silence, NAK or a bad sum) leaves its red message standing:
  // "Inquiring Start/End Address!" in blue would otherwise be the last word of a failed run.
  if (FailCount >= kFailuresThatEndARun) return;
  SendAddressInquiry(*this);
}
