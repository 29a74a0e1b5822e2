#include "firmware/ListingAccess.h"
#include "shell/Main.h"

namespace {

const char* FaultText(TLineFault fault) {
  switch (fault) {
    case TLineFault::kShortAddress:
      return "ends inside its address";
    case TLineFault::kBeyond24Bits:
      return "has an address above 0xFFFFFF";
    case TLineFault::kTooManyBytes:
      return "has more than 64 data bytes";
    case TLineFault::kNone:
    case TLineFault::kNoAddressWidth:  // refused for the whole listing above
    case TLineFault::kNarrowWide:
      break;
  }
  return "";
}

}  // namespace

bool ListingSendable(const TTarvikUPSForm& form, std::string* why) {
  const bool wide = form.WideAddress == 1;
  if (form.AddrBytes != 2 && form.AddrBytes != 3 && form.AddrBytes != 4) {
    if (why != nullptr) *why = "The listing has no address width.";
    return false;
  }
  if (form.AddrBytes == 4 && !wide) {
    if (why != nullptr)
      *why = "The listing has 4-byte addresses, but the UPS takes 2-byte addresses.";
    return false;
  }
  const TLineStore& lines = form.MM_HEX->Lines;
  for (int i = 0; i < lines.Count(); ++i) {
    TLineFault fault = TLineFault::kNone;
    if (!ReadListingLine(lines[i], form.AddrBytes, wide, &fault)) {
      if (why != nullptr) *why = "Line " + std::to_string(i + 1) + " " + FaultText(fault) + ".";
      return false;
    }
  }
  return true;
}
