// The read-back comparison (blocks against the target image, or lines against the listing)
// and the checksum comparison that ends a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "StepFixture.h"
#include "upgrade/Sequencer.h"

namespace {

using Bytes = std::vector<uint8_t>;

class ReadBack : public StepFixture {
 protected:
  // The block read-back as programming hands it over after acceptance: the progress bar at 0
  // of the line count.
  void EnterBlockReadBack(uint32_t rom_size) {
    form->RomSize = rom_size;
    ASSERT_TRUE(form->PrepareImage());
    EnterReadBack();
  }
  void EnterLineReadBack() {
    form->AddrBytes = 3;
    EnterReadBack();
  }
  void EnterReadBack() {
    form->PB_BURN->SetMax(form->MM_HEX->Lines.Count());
    form->PB_BURN->SetPosition(0);
    form->ShowStatus("UPS: Programming!", clBlue);
    LineIndex = 1;
    scripted.device.requests.clear();
    EnterStep(kStepReadBack);
  }
  void Restart(std::initializer_list<std::string> lines) {
    form->MM_HEX->Lines.Clear();
    Listing(lines);
  }
  // Bytes of the target image.
  Bytes Image(uint32_t offset, uint32_t count) const {
    const uint8_t* image = form->ImageBuf.get();
    return Bytes(image + offset, image + offset + count);
  }
};

TEST_F(ReadBack, AsksForConsecutiveBlocksWithAddressBits16To23AtZero) {
  for (const int32_t wide : {0, 1}) {
    SCOPED_TRACE(wide);
    Restart({"4000 12 34 56 "});
    form->WideAddress = wide;
    EnterBlockReadBack(0x1000);
    Answer(ReadBackReply(Image(0, 64)));

    Tick();  // programming sent nothing: silence, not shown
    EXPECT_EQ(FailCount, 1);
    EXPECT_EQ(Status(), "UPS: Programming!");
    Tick();
    EXPECT_EQ(Requests(), (std::vector<Bytes>{{0x01, 0x0D, 0x04, 0x40, 0x00, 0x00, 0x40, 0x92},
                                              {0x01, 0x0D, 0x04, 0x40, 0x00, 0x40, 0x40, 0xD2}}));
    EXPECT_EQ(form->ReadOffset, 64u);
    EXPECT_EQ(form->PB_BURN->Position(), 1);
    EXPECT_EQ(FailCount, 0);
    EXPECT_EQ(Status(), "UPS: Reading!");
    EXPECT_EQ(StatusColour(), clBlue);
  }
}

TEST_F(ReadBack, TheFirstBlockReadsBack0xFFAtItsFirstTwoBytes) {
  const struct {
    const char* name;
    int empty_value_index;  // CB_Default: 0x00 or 0xFF
    Bytes head;             // the reply's first bytes; the rest repeats the last of them
    bool equal;
  } cases[] = {
      {"as the image", 1, {0xFF, 0xFF, 0x56, 0xFF}, true},
      {"as the listing", 1, {0x12, 0x34, 0x56, 0xFF}, false},
      {"empty value 0x00", 0, {0xFF, 0xFF, 0x56, 0x00}, true},
      {"0xFF where 0x00 is empty", 0, {0xFF, 0xFF, 0x56, 0xFF}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart({"4000 12 34 56 "});
    form->CB_Default->SetItemIndex(c.empty_value_index);
    EnterBlockReadBack(0x1000);
    Bytes block(64, c.head.back());
    std::copy(c.head.begin(), c.head.end(), block.begin());
    Answer(ReadBackReply(block));
    Tick();
    Tick();
    if (c.equal) {
      EXPECT_EQ(form->ReadOffset, 64u);
      EXPECT_EQ(Status(), "UPS: Reading!");
      EXPECT_EQ(StatusColour(), clBlue);
      EXPECT_EQ(FailCount, 0);
    } else {
      EXPECT_EQ(form->ReadOffset, 0u);
      EXPECT_EQ(Status(), "Rx: Reading Comparison Error!");
      EXPECT_EQ(StatusColour(), clRed);
      EXPECT_EQ(FailCount, 1);
      ASSERT_EQ(Requests().size(), 2u);
      EXPECT_EQ(Requests()[1], Requests()[0]);
    }
  }
}

TEST_F(ReadBack, ABlockReplyOfAnotherShapeIsAskedForAgain) {
  const struct {
    const char* name;
    Bytes reply;
    int32_t fails;
    const char* status;
  } cases[] = {
      {"32 bytes", ReadBackReply(Bytes(32, 0xFF)), 0, "UPS: Programming!"},
      {"another command", Frame(0x0C, Bytes(64, 0xFF)), 0, "UPS: Programming!"},
      {"252 bytes: the most the buffer holds", ReadBackReply(Bytes(252, 0xFF)), 0,
       "UPS: Programming!"},
      // Longer than the buffer holds: read off the line, stored nowhere, a sum error.
      {"253 bytes", ReadBackReply(Bytes(253, 0xFF)), 2, "Rx: CheckSum Error!"},
      {"255 bytes", ReadBackReply(Bytes(255, 0xFF)), 2, "Rx: CheckSum Error!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart({"4000 12 34 56 "});
    EnterBlockReadBack(0x1000);
    Answer(c.reply);
    Answer(ReadBackReply(Image(0, 64)));
    Tick();
    Tick();
    EXPECT_EQ(form->ReadOffset, 0u);
    EXPECT_EQ(FailCount, c.fails);
    EXPECT_EQ(Status(), c.status);
    ASSERT_EQ(Requests().size(), 2u);
    EXPECT_EQ(Requests()[1], Requests()[0]);
    Tick();  // the same block, answered properly
    EXPECT_EQ(form->ReadOffset, 64u);
  }
}

TEST_F(ReadBack, ABlockThatKeepsDifferingEndsTheRunInRed) {
  Listing({"4000 12 34 56 "});
  EnterBlockReadBack(0x1000);
  Bytes wrong = Image(0, 64);
  wrong[10] ^= 0x01;
  for (int i = 0; i <= kMaxComparisonRepeats; ++i) Answer(ReadBackReply(wrong));

  Tick();
  for (int repeat = 1; repeat < kMaxComparisonRepeats; ++repeat) {
    Tick();
    ASSERT_TRUE(form->Burning) << "after " << repeat << " different blocks";
  }
  Tick();
  EXPECT_FALSE(form->Burning);
  EXPECT_EQ(Status(), "Rx: Reading Comparison Error!");
  EXPECT_EQ(StatusColour(), clRed);
  EXPECT_EQ(form->ReadOffset, 0u);
  Tick();  // the stop transition
  EXPECT_EQ(form->BurnStep, kNoRun);
  EXPECT_EQ(Status(), "Rx: Reading Comparison Error!");
  EXPECT_EQ(StatusColour(), clRed);
}

TEST_F(ReadBack, OnlyDifferencesInARowCountTowardTheLimit) {
  Listing({"4000 12 34 56 ", "4040 77 "});
  EnterBlockReadBack(0x80);
  for (const uint32_t offset : {0u, 64u}) {
    Bytes wrong = Image(offset, 64);
    wrong[63] ^= 0x01;
    for (int i = 1; i < kMaxComparisonRepeats; ++i) Answer(ReadBackReply(wrong));
    Answer(ReadBackReply(Image(offset, 64)));
  }
  const int ticks = TickUntil([&] { return form->BurnStep != kStepReadBack || !form->Burning; });
  EXPECT_EQ(ticks, 1 + 2 * kMaxComparisonRepeats);
  EXPECT_TRUE(form->Burning);
  EXPECT_EQ(form->BurnStep, kStepChecksum);
}

TEST_F(ReadBack, TheLastBlockOfAnUnevenImageAsksForTheBytesLeft) {
  const struct {
    const char* name;
    size_t length;    // of the reply to the last block: the image's bytes, then 0xFF
    bool last_wrong;  // the reply's last byte differs from the image
    bool complete;
    const char* status;
  } cases[] = {
      {"the 16 bytes left", 16, false, true, "UPS: Reading!"},
      {"a whole block", 64, false, false, "UPS: Reading!"},
      {"16 bytes, the last different", 16, true, false, "Rx: Reading Comparison Error!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart({"4000 12 34 56 ", "4040 77 88 "});
    EnterBlockReadBack(0x50);
    Bytes last = Image(64, 16);
    last.resize(c.length, 0xFF);
    if (c.last_wrong) last.back() ^= 0x01;
    Answer(ReadBackReply(Image(0, 64)));
    Answer(ReadBackReply(last));
    Tick();
    Tick();
    ASSERT_EQ(Requests().size(), 2u);
    EXPECT_EQ(Requests()[1], (Bytes{0x01, 0x0D, 0x04, 0x10, 0x00, 0x40, 0x40, 0xA2}));
    Tick();
    EXPECT_EQ(Status(), c.status);
    if (c.complete) {
      EXPECT_EQ(form->ReadOffset, 0x50u);
      EXPECT_EQ(form->BurnStep, kStepChecksum);
      EXPECT_EQ(Requests().size(), 2u);
    } else {
      EXPECT_EQ(form->ReadOffset, 64u);
      ASSERT_EQ(Requests().size(), 3u);
      EXPECT_EQ(Requests()[2], Requests()[1]);
    }
  }
}

TEST_F(ReadBack, ALineIsComparedOverTheReplysOwnLength) {
  const struct {
    const char* name;
    Bytes data;
    bool equal;
  } cases[] = {
      {"the whole line", {0x11, 0x22, 0x33}, true},
      {"shorter", {0x11, 0x22}, true},
      {"shorter and different", {0x11, 0x99}, false},
      {"longer than any line", Bytes(100, 0x11), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart({"004000 AA ", "004010 11 22 33 ", "004020 44 "});
    EnterLineReadBack();
    Answer(ReadBackReply(c.data));
    Tick();
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0], Frame(0x0D, {0x03, 0x00, 0x10, 0x40}));
    Tick();
    ASSERT_EQ(Requests().size(), 2u);
    if (c.equal) {
      EXPECT_EQ(LineIndex, 2);
      EXPECT_EQ(FailCount, 0);
      EXPECT_EQ(form->PB_BURN->Position(), 1);
      EXPECT_EQ(Status(), "UPS: Reading!");
      EXPECT_EQ(StatusColour(), clBlue);
      EXPECT_EQ(Requests()[1], Frame(0x0D, {0x01, 0x00, 0x20, 0x40}));
    } else {
      EXPECT_EQ(LineIndex, 1);
      EXPECT_EQ(FailCount, 2);
      EXPECT_EQ(form->PB_BURN->Position(), 0);
      EXPECT_EQ(Status(), "Rx: Reading Comparison Error!");
      EXPECT_EQ(StatusColour(), clRed);
      EXPECT_EQ(Requests()[1], Requests()[0]);
    }
  }
}

TEST_F(ReadBack, LineZeroIsNeverReadBackAfterProgrammingEndsByAcceptance) {
  form->AddrBytes = 3;
  Listing({"004000 11 ", "004010 22 "});
  EnterProgramming();
  Answer(ProgramReply(0x00));
  Answer(ProgramReply(0x00));
  Answer(ReadBackReply({0x22}));
  TickUntil([&] { return form->BurnStep == kStepChecksum; });
  ASSERT_EQ(Requests().size(), 3u);
  EXPECT_EQ(Requests()[0][1], 0x09);
  EXPECT_EQ(Requests()[1][1], 0x09);
  // The one read back asks for line 1.
  EXPECT_EQ(Requests()[2], Frame(0x0D, {0x01, 0x00, 0x10, 0x40}));
  EXPECT_EQ(LineIndex, 2);
  EXPECT_TRUE(form->Burning);
}

TEST_F(ReadBack, FourByteAddressesAreNotReadBack) {
  form->AddrBytes = 4;
  form->WideAddress = 1;
  Listing({"00004000 11 "});
  EnterReadBack();
  Tick();
  EXPECT_EQ(form->BurnStep, kStepChecksum);
  EXPECT_TRUE(scripted.line.HostWritten().empty());
}

TEST_F(ReadBack, ProgressKeepsTheMaximumThatProgrammingSet) {
  Listing({"4000 11 ", "4010 22 ", "4040 33 "});
  form->RomSize = 0x80;
  ASSERT_TRUE(form->PrepareImage());
  EnterProgramming();
  for (int i = 0; i < 3; ++i) Answer(ProgramReply(0x00));
  Answer(ReadBackReply(Image(0, 64)));
  Answer(ReadBackReply(Image(64, 64)));
  Answer(ChecksumReply(0x00));

  TickUntil([&] { return form->BurnStep == kStepChecksum; });
  EXPECT_EQ(form->PB_BURN->Max(), 3);  // the line count, not the two blocks
  EXPECT_EQ(form->PB_BURN->Position(), 2);
  TickUntil([&] { return !form->Burning; });
  EXPECT_EQ(Status(), "UPS: Upgrade OK!");
  EXPECT_EQ(form->PB_BURN->Position(), 3);
  EXPECT_EQ(form->PB_BURN->Max(), 3);
  // Three packets, two blocks, and the sum: (0x80 - 3) x 255 + 0x7CE9 = 0xF96C.
  ASSERT_EQ(Requests().size(), 6u);
  EXPECT_EQ(Requests()[3], (Bytes{0x01, 0x0D, 0x04, 0x40, 0x00, 0x00, 0x40, 0x92}));
  EXPECT_EQ(Requests()[4], (Bytes{0x01, 0x0D, 0x04, 0x40, 0x00, 0x40, 0x40, 0xD2}));
  EXPECT_EQ(Requests()[5], (Bytes{0x01, 0x06, 0x02, 0x6C, 0xF9, 0x6E}));
}

class Checksum : public StepFixture {
 protected:
  void EnterChecksum(int32_t addr_bytes) {
    form->AddrBytes = addr_bytes;
    form->RomSize = 0x1000;
    form->BurnedBytes = 0x0F00;
    form->ImageSum = 0x2345;
    form->PB_BURN->SetMax(10);
    form->PB_BURN->SetPosition(4);
    form->ShowStatus("UPS: Reading!", clBlue);
    scripted.device.requests.clear();
    scripted.line.ClearHostWritten();
    EnterStep(kStepChecksum);
  }
  const Bytes kRequest = {0x01, 0x06, 0x02, 0x45, 0x22, 0x70};
};

TEST_F(Checksum, TwoByteRunsWaitForTheVerdictToo) {
  const struct {
    const char* name;
    Bytes reply;
    const char* status;
    TColor colour;
    int position;
  } cases[] = {
      {"match", ChecksumReply(0x00), "UPS: Upgrade OK!", clBlue, 10},
      {"refused", ChecksumReply(0x01), "UPS: Checksum Comparison Failed!", clRed, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EnterChecksum(2);
    scripted.line.ClearHostWritten();
    Answer(c.reply);
    Tick();  // the request
    EXPECT_EQ(scripted.line.HostWritten(), kRequest);
    EXPECT_TRUE(form->Burning);
    Tick();  // the verdict
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(StatusColour(), c.colour);
    EXPECT_EQ(form->BurnStep, kStepFinished);
    EXPECT_FALSE(form->Burning);
    EXPECT_EQ(form->PB_BURN->Position(), c.position);
    Tick();  // the stop transition
    EXPECT_EQ(form->BurnStep, kNoRun);
  }
}

TEST_F(Checksum, OtherRunsWaitForTheVerdict) {
  const struct {
    const char* name;
    Bytes reply;
    const char* status;
    TColor colour;
    int position;
  } cases[] = {
      {"match", ChecksumReply(0x00), "UPS: Checksum Comparison OK!", clBlue, 10},
      {"mismatch", ChecksumReply(0x01), "UPS: Checksum Comparison Failed!", clRed, 4},
      {"another command", Frame(0x0D, {0x00}), "UPS: Checksum Comparison Failed!", clRed, 4},
      {"no payload", Frame(0x06, {}), "UPS: Checksum Comparison Failed!", clRed, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EnterChecksum(3);
    Answer(c.reply);
    Tick();
    EXPECT_EQ(scripted.line.HostWritten(), kRequest);
    EXPECT_TRUE(form->Burning);
    EXPECT_EQ(Status(), "UPS: Reading!");
    Tick();
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(StatusColour(), c.colour);
    EXPECT_EQ(form->PB_BURN->Position(), c.position);
    EXPECT_EQ(form->BurnStep, kStepFinished);
    EXPECT_FALSE(form->Burning);
    EXPECT_EQ(FailCount, 0);
    EXPECT_EQ(Requests().size(), 1u);
    Tick();  // the stop transition
  }
}

TEST_F(Checksum, ALateValidReplyIsTakenAsTheVerdict) {
  const struct {
    const char* name;
    int32_t addr_bytes;
    Bytes late;
    const char* status;
    TColor colour;
  } cases[] = {
      {"2-byte run, match", 2, ChecksumReply(0x00), "UPS: Upgrade OK!", clBlue},
      {"2-byte run, a read back reply", 2, ReadBackReply(Bytes(64, 0x00)),
       "UPS: Checksum Comparison Failed!", clRed},
      {"3-byte run, a program reply", 3, ProgramReply(0x00), "UPS: Checksum Comparison Failed!",
       clRed},
      {"3-byte run, mismatch", 3, ChecksumReply(0x02), "UPS: Checksum Comparison Failed!", clRed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EnterChecksum(c.addr_bytes);
    scripted.line.DeviceSend(c.late, scripted.clock.Now_us());
    Tick();
    EXPECT_TRUE(scripted.line.HostWritten().empty());
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(StatusColour(), c.colour);
    EXPECT_EQ(form->BurnStep, kStepFinished);
    EXPECT_FALSE(form->Burning);
    Tick();  // the stop transition
  }
}

// Outcomes that are not counted may repeat for as long as the UPS answers so; the run ends
// when it has not moved for a while.
struct StandStillCase {
  const char* name;
  int32_t step;
  int32_t addr_bytes;
  Bytes reply;
};

void PrintTo(const StandStillCase& c, std::ostream* os) { *os << c.name; }

class StandStill : public ReadBack, public ::testing::WithParamInterface<StandStillCase> {};

TEST_P(StandStill, EndsTheRunInRed) {
  const StandStillCase& c = GetParam();
  form->AddrBytes = c.addr_bytes;
  Listing({c.addr_bytes == 2 ? "4000 AA 55 " : "004000 AA 55 ",
           c.addr_bytes == 2 ? "4010 01 " : "004010 01 "});
  ASSERT_TRUE(form->PrepareImage());
  if (c.step == kStepProgram) {
    EnterProgramming();
  } else {
    EnterReadBack();
    form->BurnStep = c.step;
  }
  for (int i = 0; i < kMaxTicksWithoutProgress + 5; ++i) Answer(c.reply);

  EXPECT_EQ(TickUntil([&] { return !form->Burning; }), kMaxTicksWithoutProgress);
  EXPECT_EQ(StatusColour(), clRed);
  EXPECT_FALSE(Status().empty());
  Tick();
  EXPECT_EQ(form->BurnStep, kNoRun);
  EXPECT_TRUE(form->BUT_BURN->Enabled());
}

INSTANTIATE_TEST_SUITE_P(Run, StandStill,
                         ::testing::Values(
                             StandStillCase{
                                 "ProgramUnrecognisedStatus", 2, 2, {0x01, 0x01, 0x01, 0x35, 0x38}},
                             StandStillCase{"ProgramStrayByte", 2, 3, {0x02}},
                             StandStillCase{"BlockReadBackStrayByte", 3, 2, {0x02}},
                             StandStillCase{"BlockReadBackLostHeader", 3, 2, {0x01}},
                             StandStillCase{"LineReadBackStrayByte", 3, 3, {0x7F}},
                             StandStillCase{"ChecksumStrayByte", 4, 3, {0x02}},
                             StandStillCase{"ChecksumLostHeader", 4, 3, {0x01, 0x06}}),
                         [](const ::testing::TestParamInfo<StandStillCase>& param_info) {
                           return param_info.param.name;
                         });

}  // namespace
