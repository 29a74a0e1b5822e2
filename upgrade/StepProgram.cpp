// Step 2: programming. One packet of one or two contiguous listing lines is outstanding at a
// time; a packet that was not accepted is sent again.
#include <cstdint>

#include "firmware/ListingAccess.h"
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "upgrade/Sequencer.h"
#include "upgrade/SequencerVars.h"

namespace {
// ParseLine's address entries ahead of the data bytes.
constexpr int kAddressEntries = 3;
// Two joined lines carry at most twice a line's data bytes.
constexpr int kMaxPacketDataBytes = 2 * kMaxLineDataBytes;
}  // namespace

void TTarvikUPSForm::StepProgram() {
  uint8_t buffer[kTickBufferBytes] = {};
  switch (packet::ReadStepwise(*RIComm, buffer, kProgramFirstLimit_ms, kProgramRestLimit_ms)) {
    case packet::Outcome::kNoReply:
      LineIndex = SentLine;
      SilenceReport("No Response!");
      break;
    case packet::Outcome::kNak:
      LineIndex = SentLine;
      CountedFailure("Rx: NAK!");
      break;
    case packet::Outcome::kStrayByte:
    case packet::Outcome::kLostHeader:
      break;
    case packet::Outcome::kSumError:
      CountedFailure("Rx: CheckSum Error!");
      break;
    case packet::Outcome::kValid: {
      FailCount = 0;
      const packet::StatusVerdict verdict = packet::JudgeProgramStatus(packet::StatusByte(buffer));
      if (verdict.kind == packet::StatusVerdict::Kind::kSuccess) {
        ShowStatus("UPS: Programming!", clBlue);
        BurnedBytes += PacketDataBytes;
        PacketDataBytes = 0;
        LineIndex += LinesPerPacket;
        PB_BURN->SetPosition(PB_BURN->Position() + LinesPerPacket);
        if (LineIndex >= MM_HEX->Lines.Count()) {
          // The line read-back starts at the second line.
          BurnStep = kStepReadBack;
          LineIndex = 1;
          if (CB_READ->Checked()) {
            PB_BURN->SetPosition(0);
            PB_BURN->SetMax(MM_HEX->Lines.Count());
          } else {
            BurnStep = kStepChecksum;
          }
          return;
        }
      } else if (verdict.kind == packet::StatusVerdict::Kind::kRefused) {
        ShowStatus(verdict.message, clRed);
        Burning = false;
      }
      break;
    }
  }
  SendProgramPacket();
}

void TTarvikUPSForm::SendProgramPacket() {
  RIComm->Flush();
  SentLine = LineIndex;
  int32_t first[kAddressEntries + kMaxPacketDataBytes] = {};
  const int32_t r = ParseLine(LineIndex, first);

  if (r <= 0) {
    // A line without data to send: passed over, and nothing is sent in this tick.
    FailCount = 0;
    ++LineIndex;
    if (r == -3) {
      int32_t scratch[kAddressEntries + kMaxLineDataBytes];
      while (ParseLine(LineIndex, scratch) == -3) ++LineIndex;
    }
    SentLine = LineIndex;
    const int32_t lines = MM_HEX->Lines.Count();
    if (LineIndex > lines || r == -2) {
      BurnStep = kStepReadBack;
      PB_BURN->SetPosition(lines + 1);
      if (CB_READ->Checked()) {
        PB_BURN->SetPosition(0);
        PB_BURN->SetMax(static_cast<int>(RomSize / protocol::kReadBackBlockBytes));
      } else {
        BurnStep = kStepChecksum;
      }
    }
    return;
  }

  const bool wide = WideAddress == 1 || AddrBytes == 3;
  const bool narrow = !wide && AddrBytes == 2;
  // The first line's data start after its address entries: three in the wide layout, two in
  // the narrow one.
  const int data_at = wide ? kAddressEntries : kAddressEntries - 1;
  int32_t n = r;
  if (LinesContiguous(LineIndex, LineIndex + 1) != 0) {
    LinesPerPacket = 2;
    int32_t second[kAddressEntries + kMaxLineDataBytes] = {};
    const int32_t r2 = ParseLine(LineIndex + 1, second);
    if (r2 > 0) {
      for (int32_t k = 0; k < r2; ++k) first[data_at + r + k] = second[data_at + k];
      n = r + r2;
    }
  } else {
    LinesPerPacket = 1;
  }

  uint8_t data[kMaxPacketDataBytes];
  for (int32_t k = 0; k < n; ++k) data[k] = static_cast<uint8_t>(first[data_at + k]);

  if (wide) {
    const uint8_t wire[3] = {static_cast<uint8_t>(first[0]), static_cast<uint8_t>(first[1]),
                             static_cast<uint8_t>(first[2])};
    FirstPacket = 0;
    PacketDataBytes = 0;  // the wide layout counts no bytes
    packet::WriteFrame(*RIComm, packet::WideProgramRequest(wire, {data, static_cast<size_t>(n)}));
    return;
  }
  if (!narrow) {
    // A listing without a packet layout is refused before the erase; should one get here,
    // no frame goes out whose command and length were never set.
    ShowStatus("UPS: Incorrect Cmd/Para!", clRed);
    Burning = false;
    return;
  }
  // The bytes count as programmed once the UPS accepts the packet: counting them when the
  // packet is built would count a packet sent again after a stray byte or a lost header
  // twice, and the expected sum would then make the UPS refuse a good image.
  PacketDataBytes = n;
  FirstPacket = 0;
  const auto address = static_cast<uint16_t>(first[0] | first[1] << 8);
  packet::WriteFrame(*RIComm, packet::ProgramRequest(address, {data, static_cast<size_t>(n)}));
}
