// The wire protocol between the utility and the UPS: the packet frame, its sum, the command
// codes and the byte orders of multi-byte fields. Both ends (the utility and the simulated
// UPS) take their bytes from here.
//
// Frame: start byte 0x01, command, length byte N, N payload bytes, sum byte (the 8-bit sum
// of every byte before it). A frame is N + 4 bytes, at most 259. A NAK is the single byte
// 0x15 sent in place of a reply.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol {

inline constexpr uint8_t kStartByte = 0x01;
inline constexpr uint8_t kNak = 0x15;
inline constexpr size_t kHeaderBytes = 3;  // start, command, length
inline constexpr size_t kMaxPayloadBytes = 255;
inline constexpr size_t kMaxFrameBytes = kHeaderBytes + kMaxPayloadBytes + 1;

enum class Command : uint8_t {
  kProgram = 0x01,
  kErase = 0x03,
  kChecksumComparison = 0x06,
  kAddressInquiry = 0x08,
  kWideProgram = 0x09,
  kNegotiation = 0x0A,
  kVersionQuery = 0x0B,
  kReadBack = 0x0D,
  kExcludedRangeInquiry = 0x0E,
};

// The payload byte of the erase request.
inline constexpr uint8_t kEraseAll = 0x01;
// Bytes of each text in the version reply, and of the whole reply.
inline constexpr size_t kVersionTextBytes = 16;
inline constexpr size_t kVersionReplyBytes = kHeaderBytes + 2 * kVersionTextBytes + 1;  // 36
// The excluded range reply: two three-byte addresses.
inline constexpr size_t kExcludedRangeReplyBytes = kHeaderBytes + 6 + 1;  // 10
// The FileID that the negotiation carries.
inline constexpr size_t kFileIdBytes = 4;
// A negotiation mode byte whose high nibble is 1 asks for three-byte addresses.
inline constexpr uint8_t kWideModeNibble = 0x1;
// The data bytes that one read back block of a 2-byte-address run asks for.
inline constexpr uint8_t kReadBackBlockBytes = 64;

// The 8-bit wrapping sum of `bytes`.
uint8_t Sum(std::span<const uint8_t> bytes);

// Builds a frame into `dst` (room for payload.size() + 4 bytes); returns its size.
size_t BuildFrame(uint8_t* dst, Command command, std::span<const uint8_t> payload);

// A three-byte address on the wire: bits 16-23, bits 0-7, bits 8-15.
std::array<uint8_t, 3> WireAddress(uint32_t address);
uint32_t FromWireAddress(const uint8_t* wire);
// The six-byte address inquiry reply's addresses: plain low byte first.
uint32_t FromLowFirst24(const uint8_t* bytes);
uint32_t FromLowFirst16(const uint8_t* bytes);

// The status byte of the erase and program replies: only its high nibble counts.
enum class StatusNibble : uint8_t {
  kSuccess = 0x0,
  kOperationFailed = 0x1,
  kVppOutOfRange = 0x2,
  kWrongFile = 0x3,
  kIncorrectCmdPara = 0x4,
  kBusy = 0x8,
};
inline constexpr uint8_t HighNibble(uint8_t status) { return status >> 4; }

}  // namespace protocol
