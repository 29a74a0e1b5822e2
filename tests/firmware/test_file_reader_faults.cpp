// Files the listing cannot hold are refused whole: a message box owned by the window, nothing
// loaded, nothing of the file left in the listing, and the file sum, the captions and the
// identification as a file that could not be opened leaves them.
#include <cstring>
#include <string>
#include <vector>

#include "firmware/FileReader.h"
#include "test_file_reader_fixture.h"

namespace {

using namespace firmware_files;

struct RefusedCase {
  const char* name;
  const char* file;
  std::string content;
  std::string text;  // the box's text
};

class RefusesFile : public ReaderFixture, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusesFile, WithOneBoxAndNothingLoaded) {
  const RefusedCase& c = GetParam();
  LoadFile("EARLIER.HEX",
           Lines({IntelRecord(0, 0x4010, TextBytes("EARLIER MODEL   ")), IntelRecord(1, 0, {})}));
  ASSERT_TRUE(form->FileLoaded);
  const uint32_t earlier_sum = form->FileSum;
  const std::string earlier_caption = form->L_CHECKSUM->Caption();
  form->AddrBytes = 3;
  TFileInfo earlier_info = form->FileInfo;

  LoadFile(c.file, c.content);
  EXPECT_FALSE(form->FileLoaded);
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"Load", c.text}}));
  EXPECT_TRUE(Listing().empty());
  EXPECT_EQ(form->ED_FILENAME->Text(), (folder_ / c.file).string());
  EXPECT_EQ(form->FileSum, 0u);
  EXPECT_NE(earlier_sum, 0u);
  EXPECT_EQ(form->L_CHECKSUM->Caption(), earlier_caption);
  EXPECT_EQ(form->L_MODEL->Caption(), "EARLIER MODEL   ");
  EXPECT_EQ(std::memcmp(&form->FileInfo, &earlier_info, sizeof earlier_info), 0);
  EXPECT_EQ(form->AddrBytes, std::string(c.file).ends_with(".HEX") ? 2 : 3);
}

// A good record at 0x4000 before the fault shows that nothing it captured is kept.
const std::string kIntelStart =
    IntelRecord(0, 0x4000, Concat(Counting(16), TextBytes("REFUSED MODEL   "))) + "\n";
const std::string kSStart =
    SRecord('1', 0x4000, Concat(Counting(16), TextBytes("REFUSED MODEL   "))) + "\n";

// A record with all of its characters but a count field too large for the line.
std::string Truncated(const std::string& record, size_t drop) {
  return record.substr(0, record.size() - drop);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RefusesFile,
    ::testing::Values(
        RefusedCase{"IntelHex65DataBytes", "FW.HEX",
                    kIntelStart + IntelRecord(0, 0x100, Counting(65)),
                    "Line 2: the record carries more than 64 data bytes. The file was not loaded."},
        RefusedCase{"SRecord65DataBytes", "FW.S19",
                    kSStart + Lines({SRecord('1', 0x100, Counting(65)), SRecord('9', 0, {})}),
                    "Line 2: the record carries more than 64 data bytes. The file was not loaded."},
        RefusedCase{"IntelHexShortLine", "FW.HEX",
                    kIntelStart + Lines({Truncated(IntelRecord(0, 0x100, Counting(16)), 1)}),
                    "Line 2: the record is shorter than its length field says. The file was not "
                    "loaded."},
        RefusedCase{"IntelHexCountOnly", "FW.HEX", kIntelStart + ":10\n",
                    "Line 2: the record is shorter than its length field says. The file was not "
                    "loaded."},
        RefusedCase{"IntelHexColonAlone", "FW.HEX", kIntelStart + ":\r\n",
                    "Line 2: the record is shorter than its length field says. The file was not "
                    "loaded."},
        RefusedCase{"SRecordShortLine", "FW.S19",
                    kSStart + Lines({Truncated(SRecord('1', 0x100, Counting(16)), 3)}),
                    "Line 2: the record is shorter than its length field says. The file was not "
                    "loaded."},
        RefusedCase{"SRecordTypeOnly", "FW.S19", kSStart + "S1",
                    "Line 2: the record is shorter than its length field says. The file was not "
                    "loaded."},
        RefusedCase{"SRecordS1ThenS2", "FW.S19",
                    kSStart + Lines({SRecord('2', 0x10000, Counting(4)), SRecord('9', 0, {})}),
                    "Line 2: the file mixes S-records of different address widths. The file was "
                    "not loaded."},
        RefusedCase{"SRecordS3ThenS1", "FW.S19",
                    Lines({SRecord('3', 0x10000, Counting(4)), SRecord('1', 0x4000, Counting(4))}),
                    "Line 2: the file mixes S-records of different address widths. The file was "
                    "not loaded."},
        RefusedCase{
            "SRecordTerminatorOfOtherWidth", "FW.S19",
            Lines({SRecord('0', 0, {}), SRecord('2', 0x10000, Counting(4)), SRecord('9', 0, {})}),
            "Line 3: the file mixes S-records of different address widths. The file was "
            "not loaded."},
        RefusedCase{"IntelHexExtendedLinearAddress", "FW.HEX",
                    kIntelStart + Lines({IntelRecord(4, 0, {0x00, 0x01}),
                                         IntelRecord(0, 0x0000, Counting(4))}),
                    "Line 2: addresses beyond 64 KiB (extended address record) are not supported. "
                    "The file was not loaded."},
        RefusedCase{"IntelHexExtendedSegmentAddress", "FW.HEX",
                    kIntelStart + Lines({IntelRecord(2, 0, {0x10, 0x00})}),
                    "Line 2: addresses beyond 64 KiB (extended address record) are not supported. "
                    "The file was not loaded."},
        RefusedCase{"IntelHexUnknownType", "FW.HEX", kIntelStart + Lines({IntelRecord(6, 0, {1})}),
                    "Line 2: unknown record type. The file was not loaded."},
        RefusedCase{"LineOf256Characters", "FW.HEX",
                    kIntelStart + std::string(255, ';') + "\n" + IntelRecord(1, 0, {}),
                    "Line 2: the line is longer than 255 characters. The file was not loaded."},
        RefusedCase{"LastLineOf256Characters", "FW.S19", kSStart + std::string(256, 'S'),
                    "Line 2: the line is longer than 255 characters. The file was not loaded."},
        RefusedCase{"LongRecordNotSplit", "FW.HEX",
                    kIntelStart + IntelRecord(0, 0x100, Counting(60)) + std::string(200, '0') +
                        "\n:0300100041424327\n",
                    "Line 2: the line is longer than 255 characters. The file was not loaded."}),
    [](const ::testing::TestParamInfo<RefusedCase>& row) { return std::string(row.param.name); });

using FaultFixture = ReaderFixture;

// Records other than data and end-of-file are tested and summed, then passed over.
TEST_F(FaultFixture, IntelHexAddressRecordsWithBaseZeroArePassedOver) {
  LoadFile("FW.HEX", Lines({IntelRecord(4, 0, {0, 0}), IntelRecord(2, 0, {0, 0}),
                            IntelRecord(0, 0x0010, {0x41}), IntelRecord(3, 0, {0, 0, 0x12, 0x34}),
                            IntelRecord(5, 0, {0, 0, 0x80, 0x00}), IntelRecord(1, 0, {})}));
  EXPECT_TRUE(form->FileLoaded);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Listing(), std::vector<std::string>{"0010 41 "});
  // 0x06 + 0x04 + 0x52 + 0x4D + 0x89 + 0x01
  EXPECT_EQ(form->L_CHECKSUM->Caption(), "0x133");
}

TEST_F(FaultFixture, AddressRecordFailingItsChecksumIsAChecksumError) {
  LoadFile("FW.HEX", Lines({IntelRecord(0, 0x0010, {0x41}), IntelRecord(4, 0, {0, 1}, 1),
                            IntelRecord(0, 0x0020, {0x42})}));
  EXPECT_FALSE(form->FileLoaded);
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"Check Sum", "Check sum error in the file.!"}}));
  EXPECT_EQ(Listing(), std::vector<std::string>{"0010 41 "});
}

TEST_F(FaultFixture, LongestLinesAreRead) {
  // 254 characters and the LF; the last line may take all 255 without one.
  const std::string comment(254, ';');
  LoadFile("FW.HEX", comment + "\n" + comment + "\r\n" + IntelRecord(0, 0x0010, Counting(64)) +
                         "\n" + std::string(255, ';'));
  EXPECT_TRUE(form->FileLoaded);
  EXPECT_TRUE(boxes.empty());
  ASSERT_EQ(Listing().size(), 1u);
  EXPECT_EQ(Listing()[0].size(), 4u + 1 + 3 * 64);
}

// Captures take only what a record carries.
TEST_F(FaultFixture, ShortRecordsAtTheCaptureAddressesTakeNothing) {
  std::memcpy(form->FileInfo.FileID, "\x01\x02\x03\x04", 4);
  std::strcpy(form->FileInfo.ModelText, "old model");
  std::strcpy(form->FileInfo.VersionText, "old version");
  form->L_MODEL->SetCaption("old model");
  form->L_VERSION->SetCaption("old version");
  LoadFile("FW.HEX",
           Lines({
               IntelRecord(0, 0x4000, {0xAA, 0xBB, 0xCC}),  // 3 of 4 id bytes
               IntelRecord(0, 0x4000, Concat(Counting(16), TextBytes("SHORT"))),
               IntelRecord(0, 0x4010, TextBytes("FIFTEEN CHARS..")),
               IntelRecord(0, 0x4010, Concat(TextBytes("MODEL TEXT 16 CH"), TextBytes("VERSION"))),
               IntelRecord(0, 0x4020, TextBytes("V2")),  // ends the capture
               IntelRecord(0, 0x8000, Bytes(32, 0x41)),
           }));
  EXPECT_TRUE(form->FileLoaded);
  EXPECT_EQ(std::memcmp(form->FileInfo.FileID, "\x10\x11\x12\x13", 4), 0);
  EXPECT_STREQ(form->FileInfo.ModelText, "MODEL TEXT 16 CH");
  EXPECT_STREQ(form->FileInfo.VersionText, "old version");
  EXPECT_EQ(form->L_MODEL->Caption(), "MODEL TEXT 16 CH");
  EXPECT_EQ(form->L_VERSION->Caption(), "old version");
}

// The reader reads a file in blocks: lines across block ends read as the whole text does.
TEST(FileReaderBlocks, FileReadsAsItsWholeText) {
  std::string text;
  for (int i = 0; i < 30000; ++i) {
    const unsigned address = static_cast<unsigned>(i * 37) & 0xFFFF;
    text += SRecord('1', address, Counting(1 + static_cast<size_t>(i % 64))) +
            (i % 3 == 0 ? "\r\n" : "\n");
  }
  const std::string path =
      ::testing::TempDir() + "upsfw_blocks_" + std::to_string(::getpid()) + ".s19";
  std::ofstream(path, std::ios::binary) << text;

  TLineStore from_file;
  TLineStore from_text;
  FirmwareIdentity identity_file{};
  FirmwareIdentity identity_text{};
  const FirmwareReadResult file =
      ReadFirmwareFile(path, FirmwareFormat::kSRecord, from_file, identity_file);
  const FirmwareReadResult whole =
      ReadFirmware(text, FirmwareFormat::kSRecord, from_text, identity_text);
  std::filesystem::remove(path);

  ASSERT_GT(text.size(), 4u * 256 * 1024);
  EXPECT_EQ(file.outcome, ReadOutcome::kLoaded);
  EXPECT_EQ(whole.outcome, ReadOutcome::kLoaded);
  EXPECT_EQ(file.file_sum, whole.file_sum);
  ASSERT_EQ(from_file.Count(), 30000);
  ASSERT_EQ(from_text.Count(), 30000);
  for (int i = 0; i < from_file.Count(); ++i) ASSERT_EQ(from_file[i], from_text[i]) << i;
}

TEST(FileReaderBlocks, OverlongLineFoundAcrossBlocks) {
  // A line far longer than any block could hold is refused, however the blocks fall.
  const std::string text = Lines({SRecord('1', 0, {1})}) + std::string(600000, '0') + "\n";
  const std::string path =
      ::testing::TempDir() + "upsfw_long_" + std::to_string(::getpid()) + ".s19";
  std::ofstream(path, std::ios::binary) << text;
  TLineStore listing;
  FirmwareIdentity identity{};
  const FirmwareReadResult result =
      ReadFirmwareFile(path, FirmwareFormat::kSRecord, listing, identity);
  std::filesystem::remove(path);
  EXPECT_EQ(result.outcome, ReadOutcome::kLineTooLong);
  EXPECT_EQ(result.line, 2);
}

}  // namespace
