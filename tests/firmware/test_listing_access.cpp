// Reading listing lines back for the upgrade: the address and data layouts, the
// classification against the target and excluded ranges, contiguity of lines, and the lines
// that cannot be read at all.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ListingFixture.h"
#include "firmware/ListingAccess.h"

namespace {

using ::testing::ElementsAreArray;

// The written prefix of `out` and the untouched rest, guard included.
void ExpectOut(const std::vector<int32_t>& out, const std::vector<int32_t>& written) {
  const std::vector<int32_t> prefix(out.begin(), out.begin() + written.size());
  EXPECT_THAT(prefix, ElementsAreArray(written));
  EXPECT_TRUE(std::all_of(out.begin() + written.size(), out.end(),
                          [](int32_t v) { return v == kUntouched; }));
}

void FillLineBytes(uint8_t value) { std::memset(LineBytes, value, sizeof LineBytes); }

std::vector<uint8_t> LineBytesPrefix(size_t n) { return {LineBytes, LineBytes + n}; }

using ParseLineTest = ListingFixture;

TEST_F(ParseLineTest, ClassifiesTheStartAddressAgainstTheTargetRange) {
  struct Row {
    const char* line;
    int32_t result;
    std::vector<int32_t> out;
  };
  const Row rows[] = {
      {"0FFF 01 02 ", -1, {0xFF, 0x0F, 0x01, 0x02}},  // below StartAddr, still parsed
      {"1000 01 02 ", 2, {0x00, 0x10, 0x01, 0x02}},  {"2FFF 07 ", 1, {0xFF, 0x2F, 0x07}},
      {"3000 07 ", -2, {0x00, 0x30, 0x07}},  // at StartAddr + RomSize
      {"FFFF 07 ", -2, {0xFF, 0xFF, 0x07}},
  };
  form->AddrBytes = 2;
  form->WideAddress = 0;
  form->StartAddr = 0x1000;
  form->RomSize = 0x2000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SetListing({row.line});
    auto out = FreshOut();
    EXPECT_EQ(form->ParseLine(0, out.data()), row.result);
    ExpectOut(out, row.out);
  }
}

TEST_F(ParseLineTest, ClassifiesTheStartAddressAgainstTheExcludedRange) {
  struct Row {
    int32_t addr_bytes;
    uint8_t exclude_start[3];
    uint8_t exclude_end[3];
    const char* line;
    int32_t result;
  };
  // Excluded ranges arrive in wire order: bits 16-23, bits 0-7, bits 8-15.
  const Row rows[] = {
      {2, {0x00, 0x00, 0x18}, {0x00, 0xFF, 0x18}, "1800 01 ", -3},
      {2, {0x00, 0x00, 0x18}, {0x00, 0xFF, 0x18}, "18FF 01 ", -3},
      {2, {0x00, 0x00, 0x18}, {0x00, 0xFF, 0x18}, "1900 01 ", 1},
      {2, {0x00, 0x00, 0x18}, {0x00, 0xFF, 0x18}, "17FF 01 ", 1},
      {3, {0x01, 0x00, 0x20}, {0x01, 0xFF, 0x3F}, "012000 01 ", -3},
      {3, {0x01, 0x00, 0x20}, {0x01, 0xFF, 0x3F}, "013FFF 01 ", -3},
      {3, {0x01, 0x00, 0x20}, {0x01, 0xFF, 0x3F}, "014000 01 ", 1},
      {3, {0x01, 0x00, 0x20}, {0x01, 0xFF, 0x3F}, "002000 01 ", 1},  // bits 16-23 count
  };
  form->WideAddress = 1;
  form->StartAddr = 0x1000;
  form->RomSize = 0x20000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    form->AddrBytes = row.addr_bytes;
    std::memcpy(form->ExcludeStart, row.exclude_start, 3);
    std::memcpy(form->ExcludeEnd, row.exclude_end, 3);
    SetListing({row.line});
    auto out = FreshOut();
    EXPECT_EQ(form->ParseLine(0, out.data()), row.result);
  }
}

TEST_F(ParseLineTest, ALineRunningIntoTheExcludedRangeKeepsItsCount) {
  form->AddrBytes = 2;
  form->StartAddr = 0x1000;
  form->RomSize = 0x2000;
  const uint8_t start[3] = {0x00, 0x00, 0x18};
  const uint8_t end[3] = {0x00, 0xFF, 0x18};
  std::memcpy(form->ExcludeStart, start, 3);
  std::memcpy(form->ExcludeEnd, end, 3);
  SetListing({DataLine("17F0", 32)});  // 0x17F0 to 0x180F
  auto out = FreshOut();
  EXPECT_EQ(form->ParseLine(0, out.data()), 32);
}

TEST_F(ParseLineTest, AnExcludedRangeNeverSetExcludesAddressZero) {
  // As the window starts: the whole range from 0, the excluded range all zero.
  form->AddrBytes = 2;
  ASSERT_EQ(form->StartAddr, 0u);
  ASSERT_EQ(form->RomSize, 0xFFFF0000u);
  SetListing({"0000 11 ", "0001 22 "});
  auto out = FreshOut();
  EXPECT_EQ(form->ParseLine(0, out.data()), -3);
  EXPECT_EQ(form->ParseLine(1, out.data()), 1);
}

TEST_F(ParseLineTest, LaysOutAddressAndDataBytesForEachMode) {
  struct Row {
    int32_t wide;
    int32_t addr_bytes;
    const char* line;
    int32_t result;
    std::vector<int32_t> out;
    std::vector<uint8_t> line_bytes;
  };
  const Row rows[] = {
      {0, 2, "1234 AA BB ", 2, {0x34, 0x12, 0xAA, 0xBB}, {0xAA, 0xBB}},
      {1, 2, "1234 AA BB ", 2, {0x00, 0x34, 0x12, 0xAA, 0xBB}, {0xAA, 0xBB}},
      {1, 3, "01C000 55 ", 1, {0x01, 0x00, 0xC0, 0x55}, {0x55}},
      {0, 3, "01C000 55 ", 1, {0x01, 0x00, 0xC0, 0x55}, {0x55}},  // 3-byte lines are wide
      {1, 3, "fedcba 0f e1 ", 2, {0xFE, 0xBA, 0xDC, 0x0F, 0xE1}, {0x0F, 0xE1}},
      {1, 4, "0001C000 55 66 ", 2, {0x01, 0x00, 0xC0, 0x55, 0x66}, {0x55, 0x66}},
      {0, 2, "1234 ", 0, {0x34, 0x12}, {}},
  };
  form->StartAddr = 0;
  form->RomSize = 0x1000000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    form->WideAddress = row.wide;
    form->AddrBytes = row.addr_bytes;
    SetListing({row.line});
    auto out = FreshOut();
    FillLineBytes(0xEE);
    EXPECT_EQ(form->ParseLine(0, out.data()), row.result);
    ExpectOut(out, row.out);
    EXPECT_EQ(LineBytesPrefix(row.line_bytes.size()), row.line_bytes);
    EXPECT_EQ(LineBytes[row.line_bytes.size()], 0xEE);
  }
}

TEST_F(ParseLineTest, AShorterLineOverwritesOnlyItsOwnLineBytes) {
  form->AddrBytes = 2;
  SetListing({"1000 01 02 03 ", "1003 09 "});
  auto out = FreshOut();
  ASSERT_EQ(form->ParseLine(0, out.data()), 3);
  ASSERT_EQ(form->ParseLine(1, out.data()), 1);
  EXPECT_EQ(LineBytesPrefix(3), (std::vector<uint8_t>{0x09, 0x02, 0x03}));
}

TEST_F(ParseLineTest, AnIndexOutsideTheListingWritesNothing) {
  form->AddrBytes = 2;
  SetListing({"1000 01 ", "1001 02 "});
  for (const int32_t index : {2, 3, -1}) {
    SCOPED_TRACE(index);
    auto out = FreshOut();
    FillLineBytes(0xEE);
    EXPECT_EQ(form->ParseLine(index, out.data()), -1);
    ExpectOut(out, {});
    EXPECT_EQ(LineBytesPrefix(64), std::vector<uint8_t>(64, 0xEE));
  }
}

// Lines that have no sound reading are passed over (-1) and leave out and LineBytes as they
// were; nothing is read past the line or written past the output.
TEST_F(ParseLineTest, PassesOverLinesItCannotRead) {
  struct Row {
    const char* name;
    int32_t wide;
    int32_t addr_bytes;
    std::string line;
  };
  const Row rows[] = {
      {"4-byte address, 2-byte mode", 0, 4, "0001C000 55 "},
      {"4-byte address beyond 24 bits", 1, 4, "01000000 55 "},
      {"4-byte address, line too short", 1, 4, "0001C0"},
      {"no address width", 1, 0, "1234 AA "},
      {"no address width, narrow", 0, 0, "1234 AA "},
      {"address width 1", 0, 1, "12 AA "},
      {"address width 5", 1, 5, "0000001234 AA "},
      {"line shorter than its address", 0, 2, "12"},
      {"empty line", 1, 3, ""},
      {"65 data bytes", 0, 2, DataLine("1000", 65)},
      {"65 data bytes, wide", 1, 3, DataLine("001000", 65)},
      {"line beyond the parse buffer", 1, 4, DataLine("00001000", 100)},
      {"line of 400 characters", 0, 2, "1000 " + std::string(395, 'A')},
  };
  form->StartAddr = 0;
  form->RomSize = 0x1000000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    form->WideAddress = row.wide;
    form->AddrBytes = row.addr_bytes;
    // The line after the faulty one holds what reading on past its end would find.
    SetListing({row.line, "3456789A 77 88 "});
    auto out = FreshOut();
    FillLineBytes(0xEE);
    EXPECT_EQ(form->ParseLine(0, out.data()), -1);
    ExpectOut(out, {});
    EXPECT_EQ(LineBytesPrefix(64), std::vector<uint8_t>(64, 0xEE));
  }
}

TEST_F(ParseLineTest, TakesTheLargestLinesWithoutOverrun) {
  struct Row {
    int32_t wide;
    int32_t addr_bytes;
    std::string line;
    size_t address_entries;
  };
  const Row rows[] = {
      {0, 2, DataLine("1000", 64), 2},
      {1, 2, DataLine("1000", 64), 3},
      {1, 3, DataLine("001000", 64), 3},
      {1, 4, DataLine("00001000", 64), 3},  // 201 characters
  };
  form->StartAddr = 0;
  form->RomSize = 0x1000000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    form->WideAddress = row.wide;
    form->AddrBytes = row.addr_bytes;
    SetListing({row.line});
    auto out = FreshOut();
    EXPECT_EQ(form->ParseLine(0, out.data()), 64);
    std::vector<int32_t> expected(row.address_entries == 2 ? 2 : 3, 0);
    expected[row.address_entries == 2 ? 1 : 2] = 0x10;
    for (int k = 0; k < 64; ++k) expected.push_back(k);
    ExpectOut(out, expected);
    EXPECT_EQ(LineBytes[63], 63);
  }
}

TEST_F(ParseLineTest, ACutDataByteDoesNotReachIntoTheNextLine) {
  form->AddrBytes = 2;
  SetListing({"1000 A", "BC 01 "});
  auto out = FreshOut();
  EXPECT_EQ(form->ParseLine(0, out.data()), 1);
  ExpectOut(out, {0x00, 0x10, 0xA0});
}

using LinesContiguousTest = ListingFixture;

TEST_F(LinesContiguousTest, JoinsALineThatStartsWhereTheOtherEnds) {
  struct Row {
    const char* name;
    int32_t addr_bytes;
    std::vector<std::string_view> lines;
    uint32_t start_addr, rom_size;
    int32_t a, b;
    int32_t result;
  };
  const Row rows[] = {
      {"contiguous", 2, {"0010 41 42 43 ", "0013 44 "}, 0, 0x1000, 0, 1, 1},
      {"gap", 2, {"0010 41 42 43 ", "0014 44 "}, 0, 0x1000, 0, 1, 0},
      {"overlap", 2, {"0010 41 42 43 ", "0012 44 "}, 0, 0x1000, 0, 1, 0},
      {"b at the range's end", 2, {"0010 41 42 43 ", "0013 44 "}, 0, 0x13, 0, 1, 0},
      {"b past the range's end", 2, {"0010 41 42 43 ", "0013 44 "}, 0x10, 0x2, 0, 1, 0},
      {"b below StartAddr", 2, {"0010 41 42 43 ", "0013 44 "}, 0x100, 0x100, 0, 1, 1},
      {"across 64 KiB", 3, {"01FFFE 01 02 ", "020000 03 "}, 0, 0x1000000, 0, 1, 1},
      {"a past the listing", 2, {"0010 41 "}, 0, 0x1000, 1, 0, -1},
      {"a negative", 2, {"0010 41 "}, 0, 0x1000, -1, 0, -1},
      {"b past the listing", 2, {"0010 41 "}, 0, 0x1000, 0, 1, 0},
      {"b unreadable", 2, {"0010 41 42 43 ", "001"}, 0, 0x1000, 0, 1, 0},
      {"no address width", 0, {"0010 41 42 43 ", "0013 44 "}, 0, 0x1000, 0, 1, 0},
  };
  form->WideAddress = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    form->AddrBytes = row.addr_bytes;
    form->StartAddr = row.start_addr;
    form->RomSize = row.rom_size;
    SetListing({});
    for (const std::string_view line : row.lines) form->MM_HEX->Lines.Add(line);
    EXPECT_EQ(form->LinesContiguous(row.a, row.b), row.result);
  }
}

using ListingSendableTest = ListingFixture;

TEST_F(ListingSendableTest, RefusesListingsWhoseAddressesCannotBeSent) {
  struct Row {
    std::vector<std::string> lines;
    int32_t addr_bytes;
    int32_t wide;
    bool sendable;
    const char* why;
  };
  const Row rows[] = {
      {{"1234 AA "}, 2, 0, true, ""},
      {{"1234 AA "}, 2, 1, true, ""},
      {{"01C000 55 "}, 3, 0, true, ""},
      {{"0001C000 55 ", "00FFFFFF 66 "}, 4, 1, true, ""},
      {{}, 2, 0, true, ""},
      {{"0001C000 55 "},
       4,
       0,
       false,
       "The listing has 4-byte addresses, but the UPS takes 2-byte addresses."},
      {{"0001C000 55 ", "01000000 66 "}, 4, 1, false, "Line 2 has an address above 0xFFFFFF."},
      {{"1234 AA "}, 0, 1, false, "The listing has no address width."},
      {{}, 0, 0, false, "The listing has no address width."},
      {{"1234 AA ", "12"}, 2, 0, false, "Line 2 ends inside its address."},
      {{DataLine("1000", 65)}, 2, 0, false, "Line 1 has more than 64 data bytes."},
      {{DataLine("1000", 64)}, 2, 0, true, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    form->AddrBytes = row.addr_bytes;
    form->WideAddress = row.wide;
    SetListing({});
    for (const std::string& line : row.lines) form->MM_HEX->Lines.Add(line);
    std::string why;
    EXPECT_EQ(ListingSendable(*form, &why), row.sendable);
    EXPECT_EQ(why, row.why);
    EXPECT_EQ(ListingSendable(*form, nullptr), row.sendable);
  }
}

}  // namespace
