// Hostile firmware files through "&Browse...": each one ends in a defined outcome, either
// loaded as the file format says, or refused (a message box, or for a file that cannot be
// read no box and nothing loaded), never a crash, a hang or a partial listing reported as
// loaded.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_file_reader_fixture.h"

namespace {

using namespace firmware_files;

enum class Ending {
  kLoaded,       // FileLoaded, no box
  kChecksumBox,  // "Check sum error in the file.!"; the lines up to the bad record stay
  kRefusedBox,   // a "Load" box with `box`; nothing listed
  kNotRead,      // no box; nothing listed
};

struct HostileCase {
  const char* name;
  std::string file_name;
  std::string content;
  Ending ending;
  std::vector<std::string> listing;  // what the listing shows afterwards
  std::string box;                   // the refusal's text (kRefusedBox)
};

// Every byte value in turn, 16 times: its line feeds make lines of 255 characters and more.
std::string EveryByteValue() {
  std::string bytes;
  for (int round = 0; round < 16; ++round) {
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  }
  return bytes;
}

const std::string kGood = SRecord('1', 0x0010, {0x41, 0x42, 0x43});
const std::string kGoodLine = "0010 41 42 43 ";
const std::string kEnd = SRecord('9', 0x0000, {});

std::vector<HostileCase> Cases() {
  std::string non_hex = SRecord('1', 0x0010, {0x41, 0x00, 0x43});
  non_hex.replace(10, 2, "GG");  // the sum counts the characters as 0, as the reader does
  std::string non_hex_bad_sum = kGood;
  non_hex_bad_sum.replace(10, 2, "ZZ");
  std::string lower = SRecord('1', 0x00AB, {0xCD, 0xEF});
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  lower[0] = 'S';
  const std::string long_count = "S1200010414243";  // the count says 0x20 bytes follow
  return {
      {"bad checksum",
       "sum.s19",
       Lines({kGood, SRecord('1', 0x0020, {0x44}, 1), kEnd}),
       Ending::kChecksumBox,
       {kGoodLine, "0020 44 "},
       ""},
      {"short line",
       "short.hex",
       Lines({":03001000414243"}),
       Ending::kRefusedBox,
       {},
       "Line 1: the record is shorter than its length field says. The file was not loaded."},
      {"count larger than the line",
       "count.s19",
       Lines({kGood, long_count, kEnd}),
       Ending::kRefusedBox,
       {},
       "Line 2: the record is shorter than its length field says. The file was not loaded."},
      {"more than 64 data bytes",
       "long.hex",
       Lines({IntelRecord(0, 0x4000, Counting(65))}),
       Ending::kRefusedBox,
       {},
       "Line 1: the record carries more than 64 data bytes. The file was not loaded."},
      {"non-hexadecimal characters with a matching sum",
       "nonhex.s19",
       Lines({non_hex, kEnd}),
       Ending::kLoaded,
       {"0010 41 GG 43 "},
       ""},
      {"non-hexadecimal characters",
       "nonhex-sum.s19",
       Lines({non_hex_bad_sum, kEnd}),
       Ending::kChecksumBox,
       {"0010 41 ZZ 43 "},
       ""},
      {"lower case", "lower.s19", Lines({lower}), Ending::kLoaded, {"00ab cd ef "}, ""},
      {"CR LF",
       "crlf.hex",
       IntelRecord(0, 0x0010, {0x41, 0x42}) + "\r\n" + IntelRecord(1, 0, {}) + "\r\n",
       Ending::kLoaded,
       {"0010 41 42 "},
       ""},
      {"blank lines",
       "blank.s19",
       "\n\n" + kGood + "\n\n\n" + kEnd + "\n\n",
       Ending::kLoaded,
       {kGoodLine},
       ""},
      {"no end-of-file record",
       "noend.hex",
       Lines({IntelRecord(0, 0x0010, {0x41})}),
       Ending::kLoaded,
       {"0010 41 "},
       ""},
      {"no final newline", "nonl.s19", kEnd + "\n" + kGood, Ending::kLoaded, {kGoodLine}, ""},
      {"an empty file", "empty.s19", "", Ending::kLoaded, {}, ""},
      {"a binary file",
       "binary.hex",
       EveryByteValue(),
       Ending::kRefusedBox,
       {},
       "Line 2: the line is longer than 255 characters. The file was not loaded."},
      {"a path with non-ASCII characters",
       "f\u00efrmw\u00e4re \u03a9/\u00fcps \u00e9.s19",
       Lines({kGood, kEnd}),
       Ending::kLoaded,
       {kGoodLine},
       ""},
      {"a path longer than 259 characters",
       std::string(120, 'a') + "/" + std::string(120, 'b') + "/" + std::string(60, 'c') + ".s19",
       Lines({kGood, kEnd}),
       Ending::kLoaded,
       {kGoodLine},
       ""},
  };
}

class HostileFiles : public ReaderFixture {
 protected:
  // The outcome every case shares: the window's state after the load.
  void ExpectEnding(Ending ending, const std::vector<std::string>& listing,
                    const std::string& box) {
    EXPECT_EQ(Listing(), listing);
    EXPECT_EQ(form->FileLoaded, ending == Ending::kLoaded);
    switch (ending) {
      case Ending::kLoaded:
      case Ending::kNotRead:
        EXPECT_TRUE(boxes.empty());
        break;
      case Ending::kChecksumBox:
        EXPECT_EQ(boxes,
                  (std::vector<RecordedBox>{{"Check Sum", "Check sum error in the file.!"}}));
        break;
      case Ending::kRefusedBox:
        EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"Load", box}}));
        break;
    }
  }
};

TEST_F(HostileFiles, EachEndsInItsOutcome) {
  for (const HostileCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    const std::string path = Write(c.file_name, c.content);
    if (c.name == std::string("a path longer than 259 characters")) {
      ASSERT_GT(path.size(), 259u);
    }
    Load(path);
    EXPECT_EQ(form->ED_FILENAME->Text(), path);
    ExpectEnding(c.ending, c.listing, c.box);
  }
}

// A file of 100 MB: read through in blocks, never held whole. One without line feeds is
// refused at once; one of comment lines with a record at its very end loads that record.
TEST_F(HostileFiles, AHundredMegabyteFile) {
  constexpr size_t kSize = 100u << 20;
  const std::string filler_line = std::string(62, '#') + "\n";  // not a record: passed over
  struct Big {
    const char* name;
    std::string chunk;  // repeated up to 100 MB
    std::string tail;
    Ending ending;
    std::vector<std::string> listing;
    std::string box;
  };
  const Big cases[] = {
      {"one line",
       std::string(64 * 1024, 'S'),
       "",
       Ending::kRefusedBox,
       {},
       "Line 1: the line is longer than 255 characters. The file was not loaded."},
      {"comment lines and a record",
       filler_line,
       Lines({kGood, kEnd}),
       Ending::kLoaded,
       {kGoodLine},
       ""},
  };
  for (const Big& big : cases) {
    SCOPED_TRACE(big.name);
    boxes.clear();
    const std::string path = (folder_ / "big.s19").string();
    {
      std::ofstream out(path, std::ios::binary);
      std::string block;
      while (block.size() < (1u << 20)) block += big.chunk;
      for (size_t written = 0; written < kSize; written += block.size()) out << block;
      out << big.tail;
    }
    ASSERT_GE(std::filesystem::file_size(path), kSize);
    Load(path);
    ExpectEnding(big.ending, big.listing, big.box);
    std::filesystem::remove(path);
  }
}

// A folder chosen as the file, and a file that may not be read: nothing is read, nothing
// is listed, and the path stays in the file name box (no message box: the reader shows
// none for a file it cannot read).
TEST_F(HostileFiles, AFolderIsNotRead) {
  const std::filesystem::path folder = folder_ / "firmware.s19";
  std::filesystem::create_directories(folder);
  Load(folder.string());
  EXPECT_EQ(form->ED_FILENAME->Text(), folder.string());
  ExpectEnding(Ending::kNotRead, {}, "");
}

TEST_F(HostileFiles, AFileWithoutReadPermissionIsNotRead) {
  const std::string path = Write("secret.s19", Lines({kGood, kEnd}));
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  // The superuser reads any file: the load then runs as an ordinary user.
  const bool as_root = ::geteuid() == 0;
  if (as_root) {
    std::filesystem::permissions(folder_, std::filesystem::perms::all);
    if (::seteuid(65534) != 0) GTEST_SKIP() << "running as root and cannot act as nobody";
  }
  const bool readable = ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
  Load(path);
  if (as_root) {
    ASSERT_EQ(::seteuid(0), 0);
  }
  if (readable) {
    GTEST_SKIP() << "the file is readable whatever its permissions say here";
  }
  ExpectEnding(Ending::kNotRead, {}, "");
}

}  // namespace
