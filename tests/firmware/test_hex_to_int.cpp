// Hexadecimal text to integer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "firmware/HexToInt.h"

namespace {

TEST(HexToInt, ReadsDigitsOfEitherCaseAndAnyLength) {
  const struct {
    std::string text;
    int32_t value;
  } rows[] = {
      {"", 0},
      {"0", 0},
      {"7", 7},
      {"0A", 10},
      {"0a", 10},
      {"ff", 255},
      {"FF", 255},
      {"0010", 0x10},
      {"4020", 0x4020},
      {"aBcD", 0xABCD},
      {"01C000", 0x1C000},
      {"00012345", 0x12345},
      {"7FFFFFFF", 0x7FFFFFFF},
  };
  for (const auto& row : rows) EXPECT_EQ(HexToInt(row.text), row.value) << '"' << row.text << '"';
}

TEST(HexToInt, CountsAnyOtherCharacterAsZero) {
  const struct {
    std::string text;
    int32_t value;
  } rows[] = {
      {"G", 0},
      {"1G", 0x10},
      {"G1", 0x01},
      {" 1", 0x01},
      {"1 ", 0x10},
      {"1:", 0x10},
      {"/@`g", 0},
      {"x9", 0x09},
      {"-1", 0x01},
      {std::string("\0"
                   "1",
                   2),
       0x01},
  };
  for (const auto& row : rows) EXPECT_EQ(HexToInt(row.text), row.value) << '"' << row.text << '"';
}

TEST(HexToInt, WrapsAt32Bits) {
  EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
  EXPECT_EQ(HexToInt("80000000"), INT32_MIN);
  EXPECT_EQ(HexToInt("123456789"), 0x23456789);  // the first digit is shifted out
  EXPECT_EQ(HexToInt("1FFFFFFFF"), -1);
}

TEST(HexToInt, ByteAndDigitHelpersAgreeWithIt) {
  for (int value = 0; value < 256; ++value) {
    char upper[3];
    char lower[3];
    std::snprintf(upper, sizeof upper, "%02X", value);
    std::snprintf(lower, sizeof lower, "%02x", value);
    EXPECT_EQ(HexByte(upper), value);
    EXPECT_EQ(HexByte(lower), value);
    EXPECT_EQ(HexToInt(upper), value);
  }
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    EXPECT_EQ(HexDigit(ch), HexToInt(std::string(1, ch))) << c;
  }
}

}  // namespace
