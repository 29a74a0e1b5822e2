// Hexadecimal text to integer, as the file reader and the listing access read addresses and
// data bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace hex_detail {
constexpr std::array<uint8_t, 256> MakeDigitTable() {
  std::array<uint8_t, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c)
    table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c)
    table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
  return table;
}
inline constexpr std::array<uint8_t, 256> kDigitValue = MakeDigitTable();
}  // namespace hex_detail

// The value of one hexadecimal digit, either case; any other character counts as 0.
constexpr uint8_t HexDigit(char c) {
  return hex_detail::kDigitValue[static_cast<unsigned char>(c)];
}

// The byte written as the two characters at `p`.
constexpr uint8_t HexByte(const char* p) {
  return static_cast<uint8_t>((HexDigit(p[0]) << 4) | HexDigit(p[1]));
}

// The value of a text of hexadecimal digits of any length: each character shifts the value
// left by 4 bits and adds its digit (0 for a character that is no hexadecimal digit). The
// value wraps at 32 bits; an empty text gives 0.
int32_t HexToInt(std::string_view text);
