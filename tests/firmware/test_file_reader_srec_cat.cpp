// Files written by srec_cat read back, by the reader, as srec_cat itself reads them: every
// generated address listed once, with the byte that srec_cat finds there.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "firmware/HexToInt.h"
#include "test_file_reader_fixture.h"

namespace {

bool HaveSrecCat() { return std::system("srec_cat -VERSion >/dev/null 2>&1") == 0; }

struct GeneratedCase {
  const char* name;
  const char* file;
  std::string output;  // srec_cat's output format options
  std::string input;   // srec_cat's input format option for the same file
  std::vector<std::pair<unsigned, unsigned>> ranges;  // [begin, end) of random data
  int32_t addr_bytes;
};

class ReadsLikeSrecCat : public ReaderFixture,
                         public ::testing::WithParamInterface<GeneratedCase> {};

TEST_P(ReadsLikeSrecCat, EveryAddressAndByte) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat is not installed";
  const GeneratedCase& c = GetParam();
  const std::string file = (folder_ / c.file).string();
  const std::string binary = (folder_ / "reference.bin").string();
  std::string generate;
  for (const auto& [begin, end] : c.ranges) {
    generate += " -generate " + std::to_string(begin) + " " + std::to_string(end) + " -random";
  }
  ASSERT_EQ(std::system(("srec_cat" + generate + " -o '" + file + "' " + c.output).c_str()), 0);
  ASSERT_EQ(
      std::system(("srec_cat '" + file + "' " + c.input + " -o '" + binary + "' -binary").c_str()),
      0);
  std::ifstream in(binary, std::ios::binary);
  const std::string reference((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());

  Load(file);
  ASSERT_TRUE(form->FileLoaded);
  ASSERT_TRUE(boxes.empty());
  EXPECT_EQ(form->AddrBytes, c.addr_bytes);

  // Address -> byte, from the listing lines as the upgrade reads them.
  std::map<unsigned, uint8_t> listed;
  const size_t address_chars = 2 * static_cast<size_t>(c.addr_bytes);
  for (const std::string& line : Listing()) {
    ASSERT_EQ(line[address_chars], ' ') << line;
    ASSERT_EQ((line.size() - address_chars - 1) % 3, 0u) << line;
    const unsigned address = static_cast<unsigned>(HexToInt(line.substr(0, address_chars)));
    for (size_t k = 0; address_chars + 1 + 3 * k < line.size(); ++k) {
      const size_t at = address_chars + 1 + 3 * k;
      ASSERT_EQ(line[at + 2], ' ') << line;
      ASSERT_TRUE(listed.emplace(address + k, HexByte(&line[at])).second) << "listed twice";
    }
  }
  size_t expected_count = 0;
  for (const auto& [begin, end] : c.ranges) expected_count += end - begin;
  EXPECT_EQ(listed.size(), expected_count);
  EXPECT_EQ(reference.size(), c.ranges.back().second);
  for (const auto& [address, byte] : listed) {
    bool generated = false;
    for (const auto& [begin, end] : c.ranges)
      generated = generated || (address >= begin && address < end);
    ASSERT_TRUE(generated) << std::hex << address;
    ASSERT_LT(address, reference.size());
    ASSERT_EQ(byte, static_cast<uint8_t>(reference[address])) << std::hex << address;
  }
}

const std::vector<std::pair<unsigned, unsigned>> kLow = {{0x0100, 0x2A37}, {0x4000, 0x4400}};

INSTANTIATE_TEST_SUITE_P(
    Generated, ReadsLikeSrecCat,
    ::testing::Values(
        GeneratedCase{"S1Block16", "fw16.s19", "-obs=16", "", kLow, 2},
        GeneratedCase{"S1Block7", "fw7.s19", "-obs=7", "", kLow, 2},
        GeneratedCase{"S1Block64", "fw64.s19", "-obs=64 -crlf", "", kLow, 2},
        GeneratedCase{"S1WithStartAddress", "start.s19", "-obs=32 -execution-start-address=0x100",
                      "", kLow, 2},
        GeneratedCase{"S2Block32",
                      "wide.s19",
                      "-address-length=3 -obs=32",
                      "",
                      {{0x1F000, 0x21003}, {0xFFF000, 0xFFFFFF}},
                      3},
        GeneratedCase{
            "S2Block1", "wide1.s19", "-address-length=3 -obs=1", "", {{0x10000, 0x10100}}, 3},
        GeneratedCase{"IntelHexBlock16", "fw16.hex", "-intel -obs=16", "-intel", kLow, 2},
        GeneratedCase{"IntelHexBlock64",
                      "fw64.hex",
                      "-intel -obs=64",
                      "-intel",
                      {{0x0000, 0x8000}, {0xF000, 0x10000}},
                      2},
        GeneratedCase{"IntelHexBlock5", "fw5.hex", "-intel -obs=5 -crlf", "-intel", kLow, 2}),
    [](const ::testing::TestParamInfo<GeneratedCase>& row) { return std::string(row.param.name); });

}  // namespace
