// Listing access for the upgrade: reading a listing line back into its address and data
// bytes, the limits of a line and of the target image, and the test whether a listing can be
// sent at all.
//
// A listing line is the address characters (2 × AddrBytes of them), a blank, and each data
// byte as two characters and a blank. A line is "readable" when it holds its whole address
// field, its address has a sound reading for the run's address mode, and it carries at most
// kMaxLineDataBytes data bytes. ParseLine, LinesContiguous and BuildImage pass every other
// line over; ListingSendable names the first such line so that a run can be refused before
// anything is erased.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TTarvikUPSForm;

// The most data bytes one listing line carries (the record data array of the file reader).
inline constexpr int32_t kMaxLineDataBytes = 64;
// A line is read through a buffer of this many characters: at most one less are looked at.
inline constexpr size_t kLineBufferChars = 256;
// The largest target image: the whole range a 3-byte address spans (16 MiB). Anything
// larger, such as the 0xFFFF0000 of a range without an upper bound, is refused like an
// allocation failure.
inline constexpr uint32_t kMaxImageBytes = 0x1000000;

// The data bytes of the line that ParseLine parsed last, in order; a shorter line overwrites
// only its own count of entries.
extern uint8_t LineBytes[kMaxLineDataBytes];

// One listing line as read back.
struct TListingLine {
  uint32_t Address;   // start address
  size_t FirstData;   // position of data byte 0's first character
  int32_t DataBytes;  // number of data bytes, 0 to kMaxLineDataBytes
};

// Why a line is not readable.
enum class TLineFault {
  kNone,
  kShortAddress,    // the line ends inside its address field
  kNoAddressWidth,  // AddrBytes is not 2, 3 or 4
  kNarrowWide,      // 4-byte addresses outside a run with 3-byte addresses
  kBeyond24Bits,    // a 4-byte address above 0xFFFFFF
  kTooManyBytes,    // more than kMaxLineDataBytes data bytes
};

// Reads `line` (as the listing holds it) with the address width `addr_bytes`; `wide` is set
// when the run sends 3-byte addresses (WideAddress 1). 4-byte addresses are read only then,
// and only when they fit 24 bits. Returns nothing for a line that is not readable, with the
// reason in `fault` when given.
std::optional<TListingLine> ReadListingLine(std::string_view line, int32_t addr_bytes, bool wide,
                                            TLineFault* fault = nullptr);

// The byte whose two characters begin at `pos` of `line`; a character past the line's end
// counts as a digit 0.
uint8_t ListingByte(std::string_view line, size_t pos);

// Whether every line of the form's listing is readable with its AddrBytes and WideAddress,
// so that the whole listing can be programmed. When not, `why` (if given) receives a short
// text naming the first line that cannot be sent and the reason. Lines of 2- and 3-byte
// addresses are sendable in either address mode; 4-byte addresses only with WideAddress 1
// and when every address fits 24 bits; a listing without an address width (AddrBytes 0, or
// any width other than 2, 3 or 4) never, not even an empty one. An empty listing of a sound
// width is sendable: there is nothing to send.
bool ListingSendable(const TTarvikUPSForm& form, std::string* why);
