// The firmware file reader fed arbitrary text: the first byte picks the format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "firmware/FileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const FirmwareFormat format =
      (data[0] & 1) != 0 ? FirmwareFormat::kIntelHex : FirmwareFormat::kSRecord;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  TLineStore listing;
  FirmwareIdentity identity{};
  const FirmwareReadResult result = ReadFirmware(text, format, listing, identity);

  // What the reader promises of its result.
  size_t lines = 1;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  if (static_cast<size_t>(listing.Count()) > lines) std::abort();
  if (result.outcome != ReadOutcome::kLoaded && result.line <= 0) std::abort();
  if (result.line < 0 || static_cast<size_t>(result.line) > lines) std::abort();
  if (result.file_sum > 0xFFFF) std::abort();
  for (int i = 0; i < listing.Count(); ++i) {
    // Address characters (at most 8), a blank, then three characters per data byte.
    if (listing[i].size() > 8 + 1 + 3 * kMaxRecordDataBytes) std::abort();
  }
  for (const char* text_field : {identity.ModelText, identity.VersionText}) {
    if (std::string_view(text_field, sizeof identity.ModelText).find('\0') ==
        std::string_view::npos) {
      std::abort();
    }
  }
  return 0;
}
