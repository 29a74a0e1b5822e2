#include "serial/Packet.h"

#include <algorithm>
#include <cstring>

namespace packet {

using protocol::Command;
using protocol::kHeaderBytes;

namespace {

Frame Build(Command command, std::span<const uint8_t> payload) {
  Frame frame;
  frame.size = protocol::BuildFrame(frame.bytes.data(), command, payload);
  return frame;
}

// True when bytes 0 .. N + 2 of `frame` sum to byte N + 3, N being frame[2].
bool SumMatches(std::span<const uint8_t> frame) {
  const size_t body = kHeaderBytes + frame[2];
  return protocol::Sum(frame.first(body)) == frame[body];
}

// Reads `count` bytes off the line and drops them (a reply too long for its exchange).
void Drain(TRIComm& port, int count, uint32_t limit_ms) {
  uint8_t scratch[protocol::kMaxFrameBytes];
  port.Read(scratch, count, limit_ms);
}

std::string TextUpToZero(const uint8_t* field) {
  const auto* end = std::find(field, field + protocol::kVersionTextBytes, uint8_t{0});
  return std::string(field, end);
}

}  // namespace

Frame NegotiationRequest(const uint8_t (&file_id)[protocol::kFileIdBytes]) {
  return Build(Command::kNegotiation, file_id);
}
Frame VersionQueryRequest() { return Build(Command::kVersionQuery, {}); }
Frame AddressInquiryRequest() { return Build(Command::kAddressInquiry, {}); }
Frame ExcludedRangeInquiryRequest() { return Build(Command::kExcludedRangeInquiry, {}); }

Frame EraseRequest() {
  const uint8_t payload[] = {protocol::kEraseAll};
  return Build(Command::kErase, payload);
}

Frame ProgramRequest(uint16_t address, std::span<const uint8_t> data) {
  uint8_t payload[protocol::kMaxPayloadBytes];
  const size_t n = std::min(data.size(), protocol::kMaxPayloadBytes - 3);
  payload[0] = static_cast<uint8_t>(n);
  payload[1] = static_cast<uint8_t>(address);
  payload[2] = static_cast<uint8_t>(address >> 8);
  std::copy_n(data.begin(), n, payload + 3);
  return Build(Command::kProgram, {payload, n + 3});
}

Frame WideProgramRequest(const uint8_t (&wire_address)[3], std::span<const uint8_t> data) {
  uint8_t payload[protocol::kMaxPayloadBytes];
  const size_t n = std::min(data.size(), protocol::kMaxPayloadBytes - 4);
  payload[0] = static_cast<uint8_t>(n);
  std::copy_n(wire_address, 3, payload + 1);
  std::copy_n(data.begin(), n, payload + 4);
  return Build(Command::kWideProgram, {payload, n + 4});
}

Frame ReadBackRequest(uint8_t count, const uint8_t (&wire_address)[3]) {
  const uint8_t payload[] = {count, wire_address[0], wire_address[1], wire_address[2]};
  return Build(Command::kReadBack, payload);
}

Frame ChecksumComparisonRequest(uint16_t expected_sum) {
  const uint8_t payload[] = {static_cast<uint8_t>(expected_sum),
                             static_cast<uint8_t>(expected_sum >> 8)};
  return Build(Command::kChecksumComparison, payload);
}

void SendRequest(TRIComm& port, const Frame& frame) {
  port.Flush();
  WriteFrame(port, frame);
}

void WriteFrame(TRIComm& port, const Frame& frame) {
  port.Write(frame.bytes.data(), static_cast<int>(frame.size));
}

Outcome ReadStepwise(TRIComm& port, std::span<uint8_t> buffer, uint32_t first_limit_ms,
                     uint32_t rest_limit_ms) {
  int count = 1;
  if (!port.Read(buffer.data(), count, first_limit_ms)) return Outcome::kNoReply;
  if (buffer[0] == protocol::kNak) return Outcome::kNak;
  if (buffer[0] != protocol::kStartByte) return Outcome::kStrayByte;

  count = 2;
  if (!port.Read(buffer.data() + 1, count, kHeaderLimit_ms)) return Outcome::kLostHeader;

  const size_t rest = size_t{buffer[2]} + 1;
  if (kHeaderBytes + rest > buffer.size()) {
    Drain(port, static_cast<int>(rest), rest_limit_ms);
    return Outcome::kSumError;
  }
  count = static_cast<int>(rest);
  if (!port.Read(buffer.data() + kHeaderBytes, count, rest_limit_ms)) return Outcome::kSumError;
  return SumMatches(buffer) ? Outcome::kValid : Outcome::kSumError;
}

namespace {

using protocol::StatusNibble;

struct StatusRow {
  StatusNibble nibble;
  const char* message;
};

// Tested in this order; a nibble found in no row is not recognised.
constexpr StatusRow kEraseRefusals[] = {
    {StatusNibble::kOperationFailed, "UPS: Operation Failed!"},
    {StatusNibble::kWrongFile, "File Is Not Belong To The UPS!"},
    {StatusNibble::kVppOutOfRange, "UPS: Vpp Voltage Out of Range!"},
    {StatusNibble::kIncorrectCmdPara, "UPS: Incorrect Cmd/Para!"},
    {StatusNibble::kBusy, "UPS: Busy!"},
};
constexpr StatusRow kProgramRefusals[] = {
    {StatusNibble::kOperationFailed, "UPS: Operation Failed!"},
    {StatusNibble::kVppOutOfRange, "UPS: Vpp Voltage Out of Range!"},
    {StatusNibble::kIncorrectCmdPara, "UPS: Incorrect Cmd/Para!"},
    {StatusNibble::kBusy, "UPS: Busy!"},
};

StatusVerdict Judge(uint8_t status, std::span<const StatusRow> refusals) {
  const uint8_t nibble = protocol::HighNibble(status);
  if (nibble == static_cast<uint8_t>(StatusNibble::kSuccess)) {
    return {StatusVerdict::Kind::kSuccess, nullptr};
  }
  for (const StatusRow& row : refusals) {
    if (nibble == static_cast<uint8_t>(row.nibble)) {
      return {StatusVerdict::Kind::kRefused, row.message};
    }
  }
  return {StatusVerdict::Kind::kUnrecognised, nullptr};
}

}  // namespace

StatusVerdict JudgeEraseStatus(uint8_t status) { return Judge(status, kEraseRefusals); }
StatusVerdict JudgeProgramStatus(uint8_t status) { return Judge(status, kProgramRefusals); }

std::optional<Versions> ReadVersionReply(TRIComm& port) {
  uint8_t reply[64] = {};
  int count = static_cast<int>(protocol::kVersionReplyBytes);
  if (!port.Read(reply, count, kVersionReplyLimit_ms)) return std::nullopt;
  if (reply[0] != protocol::kStartByte ||
      reply[1] != static_cast<uint8_t>(Command::kVersionQuery)) {
    return std::nullopt;
  }
  // Only the 32-byte payload makes sense here; any other length would put the sum byte
  // outside what was read.
  if (reply[2] != 2 * protocol::kVersionTextBytes) return std::nullopt;
  if (!SumMatches({reply, protocol::kVersionReplyBytes})) return std::nullopt;
  return Versions{TextUpToZero(reply + kHeaderBytes),
                  TextUpToZero(reply + kHeaderBytes + protocol::kVersionTextBytes)};
}

ExcludedRange ReadExcludedRangeReply(TRIComm& port) {
  ExcludedRange range{Outcome::kNoReply, {}, {}};
  uint8_t reply[protocol::kExcludedRangeReplyBytes] = {};
  int count = static_cast<int>(protocol::kExcludedRangeReplyBytes);
  if (!port.Read(reply, count, kExcludedRangeLimit_ms)) return range;
  if (reply[0] != protocol::kStartByte) return range;
  if (reply[2] != 6 || !SumMatches(reply)) {
    range.outcome = Outcome::kSumError;
    return range;
  }
  range.outcome = Outcome::kValid;
  std::memcpy(range.start, reply + kHeaderBytes, 3);
  std::memcpy(range.end, reply + kHeaderBytes + 3, 3);
  return range;
}

NegotiationReply ReadNegotiationReply(TRIComm& port, uint32_t header_limit_ms) {
  NegotiationReply result{Outcome::kNoReply};
  uint8_t buffer[kNegotiationBufferBytes] = {};
  int count = static_cast<int>(kHeaderBytes);
  if (!port.Read(buffer, count, header_limit_ms)) return result;
  if (buffer[0] != protocol::kStartByte ||
      buffer[1] != static_cast<uint8_t>(Command::kNegotiation)) {
    return result;
  }
  const size_t rest = size_t{buffer[2]} + 1;
  result.outcome = Outcome::kSumError;
  if (kHeaderBytes + rest > sizeof buffer) {
    Drain(port, static_cast<int>(rest), kNegotiationRestLimit_ms);
    return result;
  }
  count = static_cast<int>(rest);
  if (!port.Read(buffer + kHeaderBytes, count, kNegotiationRestLimit_ms)) return result;
  if (!SumMatches(buffer)) return result;
  result.outcome = Outcome::kValid;
  result.length = buffer[2];
  result.mode = buffer[2] >= 1 ? buffer[3] : 0;
  result.exponent = buffer[2] >= 2 ? buffer[4] : 0;
  return result;
}

}  // namespace packet
