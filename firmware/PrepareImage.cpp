#include <algorithm>
#include <new>

#include "firmware/ListingAccess.h"
#include "shell/Main.h"

// A fresh target image of RomSize bytes, filled with the default empty value and then with
// the listing. Fails, with no image and ReadOffset 0, for a size above kMaxImageBytes or when
// the memory cannot be had; the old image is gone either way.
bool TTarvikUPSForm::PrepareImage() {
  ImageBuf.reset();
  ReadOffset = 0;
  if (RomSize > kMaxImageBytes) return false;
  ImageBuf.reset(new (std::nothrow) uint8_t[RomSize]);
  if (!ImageBuf) return false;
  const uint8_t empty = CB_Default->ItemIndex() == 0 ? 0x00 : 0xFF;
  std::fill_n(ImageBuf.get(), RomSize, empty);
  BuildImage();
  return true;
}

// Copies the listing into the image, sums it into ImageSum and then marks the first two
// bytes 0xFF. A line is taken or skipped whole by its start address; bytes past the image's
// end are dropped; a later line overwrites an earlier one.
void TTarvikUPSForm::BuildImage() {
  if (!ImageBuf) return;
  uint8_t* image = ImageBuf.get();
  const uint32_t end = StartAddr + RomSize;
  const TLineStore& lines = MM_HEX->Lines;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string_view line = lines[i];
    const std::optional<TListingLine> parsed = ReadListingLine(line, AddrBytes, WideAddress == 1);
    if (!parsed || parsed->Address < StartAddr || parsed->Address > end) continue;
    const uint32_t offset = parsed->Address - StartAddr;
    const uint32_t room = offset < RomSize ? RomSize - offset : 0;
    const uint32_t stored = std::min(static_cast<uint32_t>(parsed->DataBytes), room);
    for (uint32_t k = 0; k < stored; ++k) {
      image[offset + k] = ListingByte(line, parsed->FirstData + 3 * size_t{k});
    }
  }
  uint32_t sum = 0;
  for (uint32_t i = 0; i < RomSize; ++i) sum += image[i];
  ImageSum = sum;
  // The first two bytes of the range read back as 0xFF whatever the listing puts there.
  for (uint32_t i = 0; i < 2 && i < RomSize; ++i) image[i] = 0xFF;
}
