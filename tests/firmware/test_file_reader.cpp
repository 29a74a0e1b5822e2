// Loading Intel HEX and S-record files into the listing: the lines, the file sum, the address
// width, the identification captured at fixed addresses, and the choice of format by path.
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_file_reader_fixture.h"

namespace {

using namespace firmware_files;

struct LoadCase {
  const char* name;
  const char* file;
  std::string content;
  std::vector<std::string> listing;
  const char* checksum;
  bool loaded;
  int32_t addr_bytes;
};

const RecordedBox kChecksumBox{"Check Sum", "Check sum error in the file.!"};

class LoadsFile : public ReaderFixture, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadsFile, IntoListingAndSum) {
  const LoadCase& c = GetParam();
  form->AddrBytes = -7;  // so that every case shows that the load sets it
  LoadFile(c.file, c.content);
  EXPECT_EQ(Listing(), c.listing);
  EXPECT_EQ(form->L_CHECKSUM->Caption(), c.checksum);
  EXPECT_EQ(form->FileSum, std::stoul(std::string(c.checksum).substr(2), nullptr, 16));
  EXPECT_EQ(form->FileLoaded, c.loaded);
  EXPECT_EQ(form->AddrBytes, c.addr_bytes);
  EXPECT_EQ(boxes, c.loaded ? std::vector<RecordedBox>{} : std::vector<RecordedBox>{kChecksumBox});
  EXPECT_EQ(form->ED_FILENAME->Text(), (folder_ / c.file).string());
}

const std::string kListed = "0010 41 42 43 ";

INSTANTIATE_TEST_SUITE_P(
    Examples, LoadsFile,
    ::testing::Values(
        LoadCase{
            "IntelHex", "FW.HEX", ":0300100041424327\n:00000001FF\n", {kListed}, "0xDA", true, 2},
        LoadCase{"SRecord", "FW.S19", "S106001041424323\nS9030000FC\n", {kListed}, "0xDF", true, 2},
        LoadCase{"SRecordHeaderChangesNothing",
                 "FW.S19",
                 "S00F000068656C6C6F202020202000003C\nS106001041424323\nS9030000FC\n",
                 {kListed},
                 "0xDF",
                 true,
                 2},
        LoadCase{
            "IntelHexNoFinalNewline", "FW.HEX", ":0300100041424327", {kListed}, "0xD9", true, 2},
        LoadCase{"SRecordNoFinalNewline",
                 "FW.S19",
                 "S9030000FC\nS106001041424323",
                 {kListed},
                 "0xDF",
                 true,
                 2},
        LoadCase{"IntelHexLowerCase",
                 "fw.hex",
                 ":03001000aabbccbc\n:00000001ff\n",
                 {"0010 aa bb cc "},
                 "0x45",
                 true,
                 2},
        LoadCase{"SRecordLowerCase",
                 "fw.s19",
                 "S1060010aabbccb8\n",
                 {"0010 aa bb cc "},
                 "0x47",
                 true,
                 2},
        LoadCase{"CrLfLines",
                 "FW.HEX",
                 ":0300100041424327\r\n:00000001FF\r\n",
                 {kListed},
                 "0xDA",
                 true,
                 2},
        LoadCase{"OtherLinesSkipped",
                 "FW.HEX",
                 "\n; built today\nS106001041424323\n:0300100041424327\n:00000001FF\n",
                 {kListed},
                 "0xDA",
                 true,
                 2},
        LoadCase{
            "OrderGapsAndOverlapsKept",
            "FW.HEX",
            Lines({IntelRecord(0, 0x0100, {1, 2}), IntelRecord(0, 0x0000, {3}),
                   IntelRecord(0, 0x0000, {}), IntelRecord(0, 0x0101, {4}), IntelRecord(1, 0, {})}),
            {"0100 01 02 ", "0000 03 ", "0101 04 "},
            "0x12",
            true,
            2},
        LoadCase{"IntelHexEndRecordEndsReading",
                 "FW.HEX",
                 Lines({IntelRecord(0, 0x0010, {0xAA}), IntelRecord(1, 0, {}),
                        IntelRecord(0, 0x0020, {0xBB}), "garbage :zz"}),
                 {"0010 AA "},
                 "0xBC",
                 true,
                 2},
        LoadCase{"SRecordReadsPastTerminator",
                 "FW.S19",
                 Lines({SRecord('1', 0x0010, {0xAA}), SRecord('9', 0, {}),
                        SRecord('1', 0x0020, {0xBB})}),
                 {"0010 AA ", "0020 BB "},
                 "0x1A0",
                 true,
                 2},
        LoadCase{"SRecordS2",
                 "FW.S19",
                 Lines({SRecord('2', 0x01C000, {0x55}), SRecord('8', 0x01C000, {})}),
                 {"01C000 55 "},
                 "0xE0",
                 true,
                 3},
        LoadCase{"SRecordS3",
                 "FW.S19",
                 Lines({SRecord('3', 0x0001C000, {0x55, 0x66}), SRecord('7', 0, {})}),
                 {"0001C000 55 66 "},
                 "0x88",
                 true,
                 4},
        LoadCase{"SRecordCountRecordLastKeepsWidth",
                 "FW.S19",
                 Lines({SRecord('1', 0x0010, {0xAA}), SRecord('5', 0x0001, {})}),
                 {"0010 AA "},
                 "0xBE",
                 true,
                 2},
        LoadCase{"IntelHexChecksumErrorInTheMiddle",
                 "FW.HEX",
                 Lines({IntelRecord(0, 0x0000, {1, 2}), IntelRecord(0, 0x0002, {3, 4}, 1),
                        IntelRecord(0, 0x0004, {5}), IntelRecord(1, 0, {})}),
                 {"0000 01 02 ", "0002 03 04 "},
                 "0x10",
                 false,
                 2},
        LoadCase{"SRecordChecksumErrorInTheMiddle",
                 "FW.S19",
                 Lines({SRecord('1', 0x0000, {1, 2}), SRecord('1', 0x0002, {3, 4}, 0x80),
                        SRecord('1', 0x0004, {5}), SRecord('9', 0, {})}),
                 {"0000 01 02 ", "0002 03 04 "},
                 "0x16",
                 false,
                 2},
        LoadCase{"ChecksumErrorInTerminator",
                 "FW.S19",
                 Lines({SRecord('1', 0x0010, {0xAA}), SRecord('9', 0, {}, 1)}),
                 {"0010 AA "},
                 "0xC1",
                 false,
                 2}),
    [](const ::testing::TestParamInfo<LoadCase>& row) { return std::string(row.param.name); });

using LoadFixture = ReaderFixture;

TEST_F(LoadFixture, CancelledDialogEmptiesListingAndNameOnly) {
  LoadFile("FW.HEX", ":0300100041424327\n");
  ASSERT_TRUE(form->FileLoaded);
  form->L_MODEL->SetCaption("model");
  form->L_VERSION->SetCaption("version");

  Load(std::nullopt);
  EXPECT_FALSE(form->FileLoaded);
  EXPECT_TRUE(Listing().empty());
  EXPECT_EQ(form->ED_FILENAME->Text(), "");
  EXPECT_EQ(form->FileSum, 0xD9u);
  EXPECT_EQ(form->L_CHECKSUM->Caption(), "0xD9");
  EXPECT_EQ(form->L_MODEL->Caption(), "model");
  EXPECT_EQ(form->L_VERSION->Caption(), "version");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LoadFixture, DialogStartsInTheWorkingDirectory) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  Load(std::nullopt);
  ASSERT_EQ(dialog_initial_dirs.size(), 1u);
  EXPECT_EQ(dialog_initial_dirs[0], cwd);
  EXPECT_EQ(form->OpenDialog1->Filter, "S19 files (*s19)|*.s19|HEX files (*hex)|*.hex");
  EXPECT_EQ(form->OpenDialog1->DefaultExt, "UPS");
}

// The format follows ".HEX" first, then ".S19", anywhere in the upper-cased path; the file
// itself is opened by the path as chosen.
TEST_F(LoadFixture, ChoosesFormatByPath) {
  const std::string intel = Lines({IntelRecord(0, 0x0010, {0x41}), IntelRecord(1, 0, {})});
  const std::string srec = Lines({SRecord('1', 0x0010, {0x41}), SRecord('9', 0, {})});
  const struct {
    std::string file;
    std::string content;
    bool loaded;
    bool listed;
  } rows[] = {
      {"DATA.HEX/FW.S19", intel, true, true},  // read as Intel HEX
      {"DATA.HEX/FW.S19", srec, true, false},  // ... so its S-records are skipped
      {"v2.hex.s19", srec, true, false},      {"fw.hex", intel, true, true},
      {"Firmware.s19", srec, true, true},     {"old.s19.bak", srec, true, true},
      {"FW.UPS", intel, false, false},        {"FW.S28", srec, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    form->L_CHECKSUM->SetCaption("earlier");
    form->FileSum = 0x1234;
    std::filesystem::remove_all(folder_);
    LoadFile(row.file, row.content);
    EXPECT_EQ(form->FileLoaded, row.loaded);
    EXPECT_EQ(form->ED_FILENAME->Text(), (folder_ / row.file).string());
    EXPECT_EQ(Listing(),
              row.listed ? std::vector<std::string>{"0010 41 "} : std::vector<std::string>{});
    if (!row.loaded) {
      EXPECT_EQ(form->FileSum, 0u);
      EXPECT_EQ(form->L_CHECKSUM->Caption(), "earlier");
    }
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LoadFixture, FileThatCannotBeOpenedLoadsNothing) {
  const struct {
    std::string file;
    int32_t addr_bytes;
  } rows[] = {{"GONE.HEX", 2}, {"GONE.S19", 3}, {"FOLDER.HEX", 2}};
  std::filesystem::create_directories(folder_ / "FOLDER.HEX");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    form->AddrBytes = 3;
    form->FileSum = 0x1234;
    form->L_CHECKSUM->SetCaption("earlier");
    Load((folder_ / row.file).string());
    EXPECT_FALSE(form->FileLoaded);
    EXPECT_TRUE(Listing().empty());
    EXPECT_EQ(form->ED_FILENAME->Text(), (folder_ / row.file).string());
    EXPECT_EQ(form->FileSum, 0u);
    EXPECT_EQ(form->L_CHECKSUM->Caption(), "earlier");
    EXPECT_EQ(form->AddrBytes, row.addr_bytes);
  }
  EXPECT_TRUE(boxes.empty());
}

// --- The identification at 0x4000 (or 0x8000): file identification, model, version.

const Bytes kId = {0xDE, 0xAD, 0xBE, 0xEF};
const std::string kModel = "UPS-3000 TOWER  ";
const std::string kVersion = "FW 3.72 (C)2026 ";

class CaptureTest : public ReaderFixture {
 protected:
  std::string Id() const {
    std::string id;
    for (const uint8_t b : form->FileInfo.FileID) id += Hex2(b);
    return id;
  }
  void SetEarlier() {
    std::memcpy(form->FileInfo.FileID, "\x01\x02\x03\x04", 4);
    std::strcpy(form->FileInfo.ModelText, "old model");
    std::strcpy(form->FileInfo.VersionText, "old version");
    form->L_MODEL->SetCaption("old model");
    form->L_VERSION->SetCaption("old version");
  }
  void ExpectIdentity(const std::string& id, const std::string& model, const std::string& version) {
    EXPECT_EQ(Id(), id);
    EXPECT_EQ(std::string(form->FileInfo.ModelText), model);
    EXPECT_EQ(std::string(form->FileInfo.VersionText), version);
    EXPECT_EQ(form->L_MODEL->Caption(), model);
    EXPECT_EQ(form->L_VERSION->Caption(), version);
  }
};

TEST_F(CaptureTest, TakesIdModelVersionThenStops) {
  SetEarlier();
  LoadFile("FW.HEX", Lines({
                         IntelRecord(0, 0x4000, Concat(kId, Bytes(12, 0xFF))),
                         IntelRecord(0, 0x4010, TextBytes(kModel)),
                         IntelRecord(0, 0x4020, TextBytes(kVersion)),
                         IntelRecord(0, 0x8000, Concat({9, 9, 9, 9}, Bytes(28, 0x41))),
                         IntelRecord(0, 0x8010, TextBytes("ANOTHER MODEL   ")),
                         IntelRecord(1, 0, {}),
                     }));
  EXPECT_TRUE(form->FileLoaded);
  ExpectIdentity("DEADBEEF", kModel, kVersion);
  EXPECT_EQ(form->FileInfo.ModelText[16], '\0');
  EXPECT_EQ(form->FileInfo.VersionText[16], '\0');
}

TEST_F(CaptureTest, SRecordsAtTheSecondBlockAndWiderAddresses) {
  SetEarlier();
  LoadFile("FW.S19", Lines({SRecord('2', 0x008000, Concat(kId, Bytes(28, 0x20))),
                            SRecord('2', 0x008010, Concat(TextBytes(kModel), TextBytes(kVersion))),
                            SRecord('8', 0, {})}));
  ExpectIdentity("DEADBEEF", kModel, kVersion);
}

TEST_F(CaptureTest, BoundsAreStrictAndSpansTakeWholeRecords) {
  const struct {
    const char* name;
    std::vector<std::string> records;
    std::string id, model, version;
  } rows[] = {
      {"16 bytes at 0x4000 reach exactly to the model text",
       {IntelRecord(0, 0x4000, Concat(kId, Bytes(12, 0x41)))},
       "DEADBEEF",
       "old model",
       "old version"},
      {"32 bytes at 0x4000 carry the model text",
       {IntelRecord(0, 0x4000, Concat(Concat(kId, Bytes(12, 0x41)), TextBytes(kModel)))},
       "DEADBEEF",
       kModel,
       "old version"},
      {"48 bytes at 0x4000 give no version text",
       {IntelRecord(
           0, 0x4000,
           Concat(Concat(Concat(kId, Bytes(12, 0x41)), TextBytes(kModel)), TextBytes(kVersion)))},
       "DEADBEEF",
       kModel,
       "old version"},
      {"32 bytes at 0x4010 carry model and version; the capture goes on",
       {IntelRecord(0, 0x4010, Concat(TextBytes(kModel), TextBytes(kVersion))),
        IntelRecord(0, 0x8000, Concat({7, 7, 7, 7}, Bytes(12, 0)))},
       "07070707",
       kModel,
       kVersion},
      {"a record at 0x4020 ends the capture",
       {IntelRecord(0, 0x4020, TextBytes(kVersion)),
        IntelRecord(0, 0x8000, Concat({7, 7, 7, 7}, Bytes(12, 0)))},
       "01020304",
       "old model",
       kVersion},
      {"other addresses take nothing",
       {IntelRecord(0, 0x3FF0, Bytes(32, 0x41)), IntelRecord(0, 0x4001, Bytes(32, 0x41)),
        IntelRecord(0, 0x8030, Bytes(16, 0x41))},
       "01020304",
       "old model",
       "old version"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetEarlier();
    LoadFile("FW.HEX", Lines(row.records));
    EXPECT_TRUE(form->FileLoaded);
    ExpectIdentity(row.id, row.model, row.version);
  }
}

TEST_F(CaptureTest, TextWithAnyUnprintableByteIsShownEmpty) {
  for (const uint8_t bad : {0x00, 0x1F, 0x7F, 0x80, 0xC4, 0xFF}) {
    for (const size_t at : {size_t{0}, size_t{7}, size_t{15}}) {
      SCOPED_TRACE(testing::Message() << "byte " << int(bad) << " at " << at);
      SetEarlier();
      Bytes model = TextBytes(kModel);
      model[at] = bad;
      LoadFile("FW.HEX", Lines({IntelRecord(0, 0x4010, Concat(model, TextBytes(kVersion)))}));
      ExpectIdentity("01020304", "", kVersion);
      EXPECT_EQ(form->FileInfo.ModelText[16], '\0');
    }
  }
  SetEarlier();  // blank and tilde are the ends of the printable range
  LoadFile("FW.HEX", Lines({IntelRecord(0, 0x4010, TextBytes(" ~~~~~~~~~~~~~~ "))}));
  ExpectIdentity("01020304", " ~~~~~~~~~~~~~~ ", "old version");
}

TEST_F(CaptureTest, FileWithoutIdentificationKeepsTheEarlierOne) {
  SetEarlier();
  LoadFile("FW.S19", Lines({SRecord('1', 0x1000, Bytes(32, 0x41)), SRecord('9', 0, {})}));
  EXPECT_TRUE(form->FileLoaded);
  ExpectIdentity("01020304", "old model", "old version");
}

TEST_F(CaptureTest, RecordFailingItsChecksumMayStillHaveSetText) {
  SetEarlier();
  LoadFile("FW.HEX", Lines({IntelRecord(0, 0x4010, TextBytes(kModel), 1), IntelRecord(1, 0, {})}));
  EXPECT_FALSE(form->FileLoaded);
  EXPECT_EQ(boxes, std::vector<RecordedBox>{kChecksumBox});
  ExpectIdentity("01020304", kModel, "old version");
}

}  // namespace
