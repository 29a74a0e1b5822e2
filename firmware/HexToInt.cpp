#include "firmware/HexToInt.h"

int32_t HexToInt(std::string_view text) {
  uint32_t value = 0;
  for (const char c : text) value = (value << 4) | HexDigit(c);
  return static_cast<int32_t>(value);
}
