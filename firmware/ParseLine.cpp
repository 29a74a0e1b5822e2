#include "firmware/ListingAccess.h"
#include "serial/Protocol.h"
#include "shell/Main.h"

uint8_t LineBytes[kMaxLineDataBytes];

// Line `index` of the listing into `out`: the address bytes in the layout of the program
// packets, then the data bytes (also kept in LineBytes). Returns the number of data bytes,
// or -1 (index past the listing, line below StartAddr, or a line that is not readable),
// -2 (line at or past StartAddr + RomSize), -3 (line starts in the excluded range). `out` and
// LineBytes are written for every readable line, whatever its class, and for no other.
int32_t TTarvikUPSForm::ParseLine(int32_t index, int32_t* out) {
  if (index < 0 || index >= MM_HEX->Lines.Count()) return -1;
  const std::string_view line = MM_HEX->Lines[index];
  const std::optional<TListingLine> parsed = ReadListingLine(line, AddrBytes, WideAddress == 1);
  if (!parsed) return -1;

  const uint32_t a = parsed->Address;
  const uint32_t low = a & 0xFF;
  const uint32_t high = (a >> 8) & 0xFF;
  int32_t* data;
  if (WideAddress == 1 || AddrBytes != 2) {
    // Wide: bits 16-23, bits 0-7, bits 8-15, the order of a 3-byte address on the wire.
    out[0] = static_cast<int32_t>(a >> 16);
    out[1] = static_cast<int32_t>(low);
    out[2] = static_cast<int32_t>(high);
    data = out + 3;
  } else {
    out[0] = static_cast<int32_t>(low);
    out[1] = static_cast<int32_t>(high);
    data = out + 2;
  }
  for (int32_t k = 0; k < parsed->DataBytes; ++k) {
    const uint8_t byte = ListingByte(line, parsed->FirstData + 3 * static_cast<size_t>(k));
    LineBytes[k] = byte;
    data[k] = byte;
  }

  const uint32_t end = StartAddr + RomSize;
  if (a < StartAddr) return -1;
  if (a >= end) return -2;
  if (protocol::FromWireAddress(ExcludeStart) <= a && a <= protocol::FromWireAddress(ExcludeEnd)) {
    return -3;
  }
  return parsed->DataBytes;
}
