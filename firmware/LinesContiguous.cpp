#include "firmware/ListingAccess.h"
#include "shell/Main.h"

// 1 when line b starts exactly where line a's data end and below StartAddr + RomSize, else 0;
// -1 when a is past the listing. A line that is not readable joins nothing: a run sends
// (or passes over) it on its own.
int32_t TTarvikUPSForm::LinesContiguous(int32_t a, int32_t b) {
  const int count = MM_HEX->Lines.Count();
  if (a < 0 || a >= count) return -1;
  if (b < 0 || b >= count) return 0;
  const bool wide = WideAddress == 1;
  const std::optional<TListingLine> first = ReadListingLine(MM_HEX->Lines[a], AddrBytes, wide);
  const std::optional<TListingLine> second = ReadListingLine(MM_HEX->Lines[b], AddrBytes, wide);
  if (!first || !second) return 0;
  const uint32_t first_end = first->Address + static_cast<uint32_t>(first->DataBytes);
  if (second->Address >= StartAddr + RomSize) return 0;
  return second->Address == first_end ? 1 : 0;
}
