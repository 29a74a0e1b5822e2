#include "serial/Protocol.h"

#include <cstring>

namespace protocol {

uint8_t Sum(std::span<const uint8_t> bytes) {
  uint8_t sum = 0;
  for (const uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  return sum;
}

size_t BuildFrame(uint8_t* dst, Command command, std::span<const uint8_t> payload) {
  dst[0] = kStartByte;
  dst[1] = static_cast<uint8_t>(command);
  dst[2] = static_cast<uint8_t>(payload.size());
  if (!payload.empty()) std::memcpy(dst + kHeaderBytes, payload.data(), payload.size());
  const size_t body = kHeaderBytes + payload.size();
  dst[body] = Sum({dst, body});
  return body + 1;
}

std::array<uint8_t, 3> WireAddress(uint32_t address) {
  return {static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address),
          static_cast<uint8_t>(address >> 8)};
}

uint32_t FromWireAddress(const uint8_t* wire) {
  return uint32_t{wire[0]} << 16 | uint32_t{wire[2]} << 8 | uint32_t{wire[1]};
}

uint32_t FromLowFirst24(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16;
}

uint32_t FromLowFirst16(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8;
}

}  // namespace protocol
