// The utility's side of the packet frame: every request it sends, and the ways it reads a
// reply. Requests go out as Flush, then one Write of the whole frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "serial/Protocol.h"
#include "serial/TRIComm.h"

namespace packet {

// A request frame, ready to send.
struct Frame {
  std::array<uint8_t, protocol::kMaxFrameBytes> bytes{};
  size_t size = 0;
  std::span<const uint8_t> View() const { return {bytes.data(), size}; }
};

// --- Every request of the command set.
Frame NegotiationRequest(const uint8_t (&file_id)[protocol::kFileIdBytes]);
Frame VersionQueryRequest();
Frame AddressInquiryRequest();
Frame ExcludedRangeInquiryRequest();
Frame EraseRequest();
// Program: count, address bits 0-7, bits 8-15, data. At most 252 data bytes.
Frame ProgramRequest(uint16_t address, std::span<const uint8_t> data);
// Wide program: count, three-byte address in wire order, data. At most 251 data bytes.
Frame WideProgramRequest(const uint8_t (&wire_address)[3], std::span<const uint8_t> data);
// Read back: count, three-byte address in wire order.
Frame ReadBackRequest(uint8_t count, const uint8_t (&wire_address)[3]);
// Checksum comparison: the expected sum, low byte first.
Frame ChecksumComparisonRequest(uint16_t expected_sum);

// Flush, then one Write of the whole frame. Whether it went out is not looked at: a request
// that did not go out shows up as a missing reply.
void SendRequest(TRIComm& port, const Frame& frame);
// One Write of the whole frame, for a caller that has flushed the input itself.
void WriteFrame(TRIComm& port, const Frame& frame);

// --- Reading a reply.
enum class Outcome {
  kNoReply,     // nothing within the first limit
  kNak,         // the first byte was a NAK
  kStrayByte,   // the first byte was neither a start byte nor a NAK
  kLostHeader,  // command and length did not follow within 500 ms
  kSumError,    // the sum does not match, or the payload did not all arrive
  kValid,
};

// The limit for the command and length bytes of every stepwise read.
inline constexpr uint32_t kHeaderLimit_ms = 500;

// Reads start byte, then command and length, then payload and sum, into `buffer` (the
// exchange's buffer; its first bytes then hold the frame as received). A reply whose payload
// would not fit the buffer is read off the line and judged a sum error; so is a reply whose
// payload and sum do not all arrive within `rest_limit_ms` (nothing stale is ever judged).
// After a NAK or a stray byte nothing more is read.
Outcome ReadStepwise(TRIComm& port, std::span<uint8_t> buffer, uint32_t first_limit_ms,
                     uint32_t rest_limit_ms);

// The status byte of an erase or program reply: always offset 3, whatever the length says.
inline uint8_t StatusByte(std::span<const uint8_t> reply) { return reply[protocol::kHeaderBytes]; }

// How the UPS judged an erase or a program request.
struct StatusVerdict {
  enum class Kind { kSuccess, kRefused, kUnrecognised };
  Kind kind;
  const char* message;  // the status line text of a refusal, else nullptr
};
StatusVerdict JudgeEraseStatus(uint8_t status);
StatusVerdict JudgeProgramStatus(uint8_t status);

// --- Whole reads.

// The version reply: 36 bytes at once within 1000 ms, start byte, command 0x0B, length 32
// and a good sum. The texts run to their first zero byte, at most 16 characters.
struct Versions {
  std::string ups_firmware;
  std::string programmer;
};
inline constexpr uint32_t kVersionReplyLimit_ms = 1000;
std::optional<Versions> ReadVersionReply(TRIComm& port);

// The excluded range reply: 10 bytes at once within 1000 ms. Silence or a first byte other
// than the start byte is no reply; a bad sum or a length other than 6 is a sum error.
struct ExcludedRange {
  Outcome outcome;
  uint8_t start[3];  // wire order, as received
  uint8_t end[3];
};
inline constexpr uint32_t kExcludedRangeLimit_ms = 1000;
ExcludedRange ReadExcludedRangeReply(TRIComm& port);

// The negotiation reply: 3 header bytes within `header_limit_ms` (start byte and command
// 0x0A required, else no reply), then length + 1 bytes within 1000 ms, then the sum test.
// A payload longer than 16 bytes or one that does not all arrive is a sum error.
struct NegotiationReply {
  Outcome outcome;  // kNoReply, kSumError or kValid
  uint8_t length = 0;
  uint8_t mode = 0;      // payload byte 0, when length >= 1
  uint8_t exponent = 0;  // payload byte 1, when length >= 2
};
inline constexpr uint32_t kNegotiationRestLimit_ms = 1000;
inline constexpr size_t kNegotiationBufferBytes = 20;
NegotiationReply ReadNegotiationReply(TRIComm& port, uint32_t header_limit_ms);

}  // namespace packet
