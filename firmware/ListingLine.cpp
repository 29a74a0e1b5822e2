#include "firmware/HexToInt.h"
#include "firmware/ListingAccess.h"

std::optional<TListingLine> ReadListingLine(std::string_view line, int32_t addr_bytes, bool wide,
                                            TLineFault* fault) {
  TLineFault found = TLineFault::kNone;
  std::optional<TListingLine> result;
  line = line.substr(0, kLineBufferChars - 1);
  if (addr_bytes != 2 && addr_bytes != 3 && addr_bytes != 4) {
    found = TLineFault::kNoAddressWidth;
  } else if (addr_bytes == 4 && !wide) {
    found = TLineFault::kNarrowWide;
  } else {
    const size_t address_chars = 2 * static_cast<size_t>(addr_bytes);
    if (line.size() < address_chars) {
      found = TLineFault::kShortAddress;
    } else {
      const auto address = static_cast<uint32_t>(HexToInt(line.substr(0, address_chars)));
      const size_t first_data = address_chars + 1;
      // Data byte k begins at first_data + 3k; the bytes end where that lies past the line.
      const size_t data_bytes = line.size() > first_data ? (line.size() - first_data + 2) / 3 : 0;
      if (address > 0xFFFFFF) {
        found = TLineFault::kBeyond24Bits;
      } else if (data_bytes > static_cast<size_t>(kMaxLineDataBytes)) {
        found = TLineFault::kTooManyBytes;
      } else {
        result = TListingLine{address, first_data, static_cast<int32_t>(data_bytes)};
      }
    }
  }
  if (fault != nullptr) *fault = found;
  return result;
}

uint8_t ListingByte(std::string_view line, size_t pos) {
  const char pair[2] = {pos < line.size() ? line[pos] : '0',
                        pos + 1 < line.size() ? line[pos + 1] : '0'};
  return HexByte(pair);
}
