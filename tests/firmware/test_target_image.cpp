// The target image of a 2-byte-address run: its size limits, the default fill, the listing
// copied in, its sum and the two marked bytes at its start.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "ListingFixture.h"
#include "firmware/ListingAccess.h"

namespace {

class TargetImageTest : public ListingFixture {
 protected:
  void SetUp() override {
    ListingFixture::SetUp();
    form->AddrBytes = 2;
    form->WideAddress = 0;
  }
  std::vector<uint8_t> Image() const {
    return {form->ImageBuf.get(), form->ImageBuf.get() + form->RomSize};
  }
};

TEST_F(TargetImageTest, AnImageWithoutListingBytesHoldsTheDefaultValue) {
  form->StartAddr = 0x1000;
  form->RomSize = 0x100;
  form->ReadOffset = 0x40;
  SetListing({"0FFF 01 02 03 ", "1100 04 ", "2000 05 "});  // all outside the range
  ASSERT_TRUE(form->PrepareImage());
  EXPECT_EQ(form->ImageSum, 0xFF00u);
  EXPECT_EQ(Image(), std::vector<uint8_t>(0x100, 0xFF));
  EXPECT_EQ(form->ReadOffset, 0u);
}

TEST_F(TargetImageTest, FillsWithTheSelectedDefaultValue) {
  struct Row {
    int item;
    uint8_t fill;
  };
  const Row rows[] = {{0, 0x00}, {1, 0xFF}, {-1, 0xFF}};
  form->StartAddr = 0;
  form->RomSize = 0x10;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.item);
    form->CB_Default->SetItemIndex(row.item);
    ASSERT_TRUE(form->PrepareImage());
    std::vector<uint8_t> expected(0x10, row.fill);
    expected[0] = expected[1] = 0xFF;
    EXPECT_EQ(Image(), expected);
    EXPECT_EQ(form->ImageSum, 0x10u * row.fill);
  }
}

TEST_F(TargetImageTest, CopiesTheListingAndSumsItBeforeMarkingTheFirstTwoBytes) {
  struct Row {
    const char* name;
    std::vector<std::string> lines;
    std::vector<uint8_t> image;  // StartAddr 0x1000, RomSize 6, default 0x00
    uint32_t sum;
  };
  const Row rows[] = {
      {"bytes at StartAddr", {"1000 12 34 56 "}, {0xFF, 0xFF, 0x56, 0, 0, 0}, 0x12 + 0x34 + 0x56},
      {"line running past the end",
       {"1004 01 02 03 04 "},
       {0xFF, 0xFF, 0, 0, 0x01, 0x02},
       0x01 + 0x02},
      {"line starting below the range", {"0FFF 01 02 03 "}, {0xFF, 0xFF, 0, 0, 0, 0}, 0},
      {"line at the range's end", {"1006 09 "}, {0xFF, 0xFF, 0, 0, 0, 0}, 0},
      {"line past the range", {"1007 09 "}, {0xFF, 0xFF, 0, 0, 0, 0}, 0},
      {"later line overwrites",
       {"1000 01 02 03 04 ", "1002 AA ", "1001 bb "},
       {0xFF, 0xFF, 0xAA, 0x04, 0, 0},
       0x01 + 0xBB + 0xAA + 0x04},
      {"unreadable line skipped", {"10", DataLine("1000", 65)}, {0xFF, 0xFF, 0, 0, 0, 0}, 0},
  };
  form->StartAddr = 0x1000;
  form->RomSize = 6;
  form->CB_Default->SetItemIndex(0);
  // The excluded range plays no part in the image.
  const uint8_t exclude_start[3] = {0x00, 0x00, 0x10};
  const uint8_t exclude_end[3] = {0x00, 0xFF, 0x10};
  std::copy_n(exclude_start, 3, form->ExcludeStart);
  std::copy_n(exclude_end, 3, form->ExcludeEnd);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetListing({});
    for (const std::string& line : row.lines) form->MM_HEX->Lines.Add(line);
    ASSERT_TRUE(form->PrepareImage());
    EXPECT_EQ(Image(), row.image);
    EXPECT_EQ(form->ImageSum, row.sum);
  }
}

TEST_F(TargetImageTest, SmallImagesMarkOnlyTheBytesTheyHave) {
  struct Row {
    uint32_t rom_size;
    std::vector<uint8_t> image;
    uint32_t sum;
  };
  const Row rows[] = {
      {0, {}, 0},
      {1, {0xFF}, 0x12},
      {2, {0xFF, 0xFF}, 0x12 + 0x34},
  };
  form->StartAddr = 0x1000;
  form->CB_Default->SetItemIndex(0);
  SetListing({"1000 12 34 56 "});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rom_size);
    form->RomSize = row.rom_size;
    form->ImageSum = 0x1234;
    ASSERT_TRUE(form->PrepareImage());
    ASSERT_NE(form->ImageBuf, nullptr);
    EXPECT_EQ(Image(), row.image);
    EXPECT_EQ(form->ImageSum, row.sum);
  }
}

TEST_F(TargetImageTest, ReplacesTheImageOfAnEarlierRun) {
  form->StartAddr = 0;
  form->RomSize = 0x20;
  ASSERT_TRUE(form->PrepareImage());
  form->ReadOffset = 0x20;
  form->RomSize = 0x8;
  SetListing({"0002 01 "});
  ASSERT_TRUE(form->PrepareImage());
  EXPECT_EQ(Image(), (std::vector<uint8_t>{0xFF, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(form->ReadOffset, 0u);
}

// An image larger than a 3-byte address can span is refused before any allocation, like an
// allocation failure: no image (the earlier one is gone too), ReadOffset 0.
TEST_F(TargetImageTest, RefusesImagesLargerThan16MiB) {
  for (const uint32_t rom_size : {0xFFFF0000u, 0xFFFFFFFFu, 0x80000000u, 0x1000001u}) {
    SCOPED_TRACE(rom_size);
    form->StartAddr = 0;
    form->RomSize = 0x10;
    ASSERT_TRUE(form->PrepareImage());
    form->ReadOffset = 0x10;
    form->RomSize = rom_size;
    EXPECT_FALSE(form->PrepareImage());
    EXPECT_EQ(form->ImageBuf, nullptr);
    EXPECT_EQ(form->ReadOffset, 0u);
  }
}

TEST_F(TargetImageTest, TakesTheWhole24BitRange) {
  form->StartAddr = 0;
  form->RomSize = kMaxImageBytes;
  SetListing({"FFFE 01 02 "});
  ASSERT_TRUE(form->PrepareImage());
  EXPECT_EQ(form->ImageBuf[0xFFFE], 0x01);
  EXPECT_EQ(form->ImageSum, 0xFFu * (kMaxImageBytes - 2) + 0x01 + 0x02);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// The process's address space now, in bytes.
rlim_t AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  statm >> pages;
  return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

TEST_F(TargetImageTest, FailsCleanlyWhenMemoryIsShort) {
  if (kAddressSanitizer) GTEST_SKIP() << "the address sanitizer aborts on a failed allocation";
  GTEST_FLAG_SET(death_test_style, "fast");
  form->StartAddr = 0;
  form->RomSize = 0x10;
  ASSERT_TRUE(form->PrepareImage());
  form->ReadOffset = 0x10;
  form->RomSize = kMaxImageBytes;
  // In a child process whose address space leaves no room for the image.
  const auto prepare_short_of_memory = [this] {
    const rlimit limit{AddressSpaceInUse() + 0x100000, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    const bool prepared = form->PrepareImage();
    std::_Exit(!prepared && form->ImageBuf == nullptr && form->ReadOffset == 0 ? 0 : 1);
  };
  EXPECT_EXIT(prepare_short_of_memory(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
