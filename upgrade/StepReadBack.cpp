// Step 3: the read-back comparison. 2-byte listings are read back in 64-byte blocks and
// compared with the target image; 3-byte listings line by line against the listing; other
// widths are not read back.
#include <algorithm>
#include <cstring>

#include "firmware/ListingAccess.h"
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "upgrade/Sequencer.h"
#include "upgrade/SequencerVars.h"

namespace {

// The bytes the block at `read_offset` asks for: 64, or what is left of the image.
uint8_t BlockBytes(uint32_t rom_size, uint32_t read_offset) {
  return static_cast<uint8_t>(
      std::min<uint32_t>(protocol::kReadBackBlockBytes, rom_size - read_offset));
}

// Judges a reply that is not valid, as both kinds of read-back do: a NAK, or more missing
// replies in a row than are tolerated, abandon the read-back (on to the checksum step, with
// nothing sent); a sum error is a counted failure. True when the read-back is abandoned.
bool AbandonsReadBack(TTarvikUPSForm& form, packet::Outcome outcome) {
  switch (outcome) {
    case packet::Outcome::kNoReply:
      if (++FailCount <= kReadBackSilencesTolerated) return false;
      break;
    case packet::Outcome::kNak:
      break;
    case packet::Outcome::kSumError:
      form.CountedFailure("Rx: CheckSum Error!");
      return false;
    case packet::Outcome::kStrayByte:
    case packet::Outcome::kLostHeader:
    case packet::Outcome::kValid:
      return false;
  }
  form.BurnStep = kStepChecksum;
  return true;
}

}  // namespace

void TTarvikUPSForm::StepReadBack() {
  if (AddrBytes == 2) {
    StepBlockReadBack();
  } else if (AddrBytes == 3) {
    StepLineReadBack();
  } else {
    BurnStep = kStepChecksum;
  }
}

void TTarvikUPSForm::StepBlockReadBack() {
  if (!ImageBuf || ReadOffset >= RomSize) {
    BurnStep = kStepChecksum;
    return;
  }
  uint8_t buffer[kTickBufferBytes] = {};
  const packet::Outcome outcome =
      packet::ReadStepwise(*RIComm, buffer, kReadBackFirstLimit_ms, kReadBackRestLimit_ms);
  if (AbandonsReadBack(*this, outcome)) return;
  switch (outcome) {
    default:  // the other outcomes were judged above
      break;
    case packet::Outcome::kValid: {
      FailCount = 0;
      const uint8_t expected_bytes = BlockBytes(RomSize, ReadOffset);
      if (buffer[1] != static_cast<uint8_t>(protocol::Command::kReadBack) ||
          buffer[2] != expected_bytes) {
        break;  // not this block's answer: ask again
      }
      ShowStatus("UPS: Reading!", clBlue);
      if (std::memcmp(buffer + protocol::kHeaderBytes, ImageBuf.get() + ReadOffset,
                      expected_bytes) == 0) {
        BlockMismatches = 0;
        ReadOffset += expected_bytes;
        PB_BURN->SetPosition(PB_BURN->Position() + 1);
        if (ReadOffset >= RomSize) {
          BurnStep = kStepChecksum;
          return;
        }
      } else {
        CountedFailure("Rx: Reading Comparison Error!");
        // The memory does not hold the file: after a few tries the run ends in red.
        if (++BlockMismatches >= kMaxComparisonRepeats) FailCount = kFailuresThatEndARun;
      }
      break;
    }
  }
  const uint32_t address = StartAddr + ReadOffset;
  const uint8_t wire[3] = {0, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
  packet::SendRequest(*RIComm, packet::ReadBackRequest(BlockBytes(RomSize, ReadOffset), wire));
}

void TTarvikUPSForm::StepLineReadBack() {
  uint8_t buffer[kTickBufferBytes] = {};
  const packet::Outcome outcome =
      packet::ReadStepwise(*RIComm, buffer, kReadBackFirstLimit_ms, kReadBackRestLimit_ms);
  if (AbandonsReadBack(*this, outcome)) return;
  switch (outcome) {
    default:  // the other outcomes were judged above
      break;
    case packet::Outcome::kValid: {
      if (buffer[1] != static_cast<uint8_t>(protocol::Command::kReadBack)) break;
      ShowStatus("UPS: Reading!", clBlue);
      // Compared over the reply's own length; a reply longer than a line cannot match.
      const uint8_t length = buffer[2];
      const bool equal = length <= kMaxLineDataBytes &&
                         std::memcmp(LineBytes, buffer + protocol::kHeaderBytes, length) == 0;
      if (equal) {
        FailCount = 0;
        PB_BURN->SetPosition(PB_BURN->Position() + 1);
        ++LineIndex;
      } else {
        CountedFailure("Rx: Reading Comparison Error!");
      }
      break;
    }
  }

  RIComm->Flush();
  int32_t out[3 + kMaxLineDataBytes];
  const int32_t r = ParseLine(LineIndex, out);
  if (r > 0) {
    const uint8_t wire[3] = {static_cast<uint8_t>(out[0]), static_cast<uint8_t>(out[1]),
                             static_cast<uint8_t>(out[2])};
    packet::WriteFrame(*RIComm, packet::ReadBackRequest(static_cast<uint8_t>(r), wire));
    return;
  }
  if (LineIndex < MM_HEX->Lines.Count()) {
    ++LineIndex;
    while (ParseLine(LineIndex, out) == -3) ++LineIndex;
    FailCount = 0;
    return;
  }
  BurnStep = kStepChecksum;
}
