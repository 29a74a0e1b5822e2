// Programming: the listing goes to the UPS in packets of one or two contiguous lines, one
// packet outstanding at a time, with resending, progress and the hand-over to the read-back.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "StepFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Programming : public StepFixture {
 protected:
  // A listing line of `count` data bytes starting at `address`, the data counting up from
  // `first`.
  static std::string CountingLine(const char* address, int count, int first) {
    std::string line = std::string(address) + " ";
    static const char kDigits[] = "0123456789ABCDEF";
    for (int k = 0; k < count; ++k) {
      const int value = (first + k) & 0xFF;
      line += kDigits[value >> 4];
      line += kDigits[value & 0xF];
      line += ' ';
    }
    return line;
  }
};

TEST_F(Programming, JoinsTwoContiguousLinesAndSendsTheLastLineAlone) {
  // Every line starts where the one before it ends; the third has no line after it.
  Listing({"4000 11 22 ", "4002 33 ", "4003 44 "});
  EnterProgramming();
  Answer(ProgramReply(0x00));
  Answer(ProgramReply(0x00));

  Tick();  // the erase sent nothing, so nothing is read; the first packet goes out
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0], Frame(0x01, {0x03, 0x00, 0x40, 0x11, 0x22, 0x33}));
  EXPECT_EQ(LinesPerPacket, 2);
  EXPECT_EQ(LineIndex, 0);
  EXPECT_EQ(form->PB_BURN->Position(), 1);

  Tick();
  EXPECT_EQ(Status(), "UPS: Programming!");
  EXPECT_EQ(StatusColour(), clBlue);
  EXPECT_EQ(LineIndex, 2);
  EXPECT_EQ(form->PB_BURN->Position(), 3);
  ASSERT_EQ(Requests().size(), 2u);
  EXPECT_EQ(Requests()[1], Frame(0x01, {0x01, 0x03, 0x40, 0x44}));
  EXPECT_EQ(LinesPerPacket, 1);

  Tick();
  EXPECT_EQ(form->BurnStep, kStepReadBack);
  EXPECT_EQ(LineIndex, 1);
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(Programming, AContiguousLineInTheExcludedRangeIsNotAppendedButPassedOver) {
  Exclude(0x4002, 0x40FF);
  Listing({"4000 11 22 ", "4002 33 ", "4100 44 "});
  EnterProgramming();
  Answer(ProgramReply(0x00));
  Answer(ProgramReply(0x00));

  Tick();
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0], Frame(0x01, {0x02, 0x00, 0x40, 0x11, 0x22}));
  Tick();
  EXPECT_EQ(LineIndex, 2);
  EXPECT_EQ(form->PB_BURN->Position(), 3);
  ASSERT_EQ(Requests().size(), 2u);
  EXPECT_EQ(Requests()[1], Frame(0x01, {0x01, 0x00, 0x41, 0x44}));
  Tick();
  EXPECT_EQ(form->BurnStep, kStepReadBack);
}

TEST_F(Programming, LinesBelowTheRangeAndInTheExcludedRangeAreNeverSent) {
  Exclude(0x4800, 0x48FF);
  Listing({"3000 01 ", "4000 11 ", "4800 22 ", "4801 33 ", "4900 44 "});
  EnterProgramming();
  Answer(ProgramReply(0x00));
  Answer(ProgramReply(0x00));

  // Line 0 is passed over alone; the two excluded lines together in the tick that accepts
  // line 1. Each passing over leaves a tick that finds no reply and shows nothing.
  const int ticks = TickUntil([&] { return form->BurnStep != kStepProgram; });
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{Frame(0x01, {0x01, 0x00, 0x40, 0x11}),
                                            Frame(0x01, {0x01, 0x00, 0x49, 0x44})}));
  EXPECT_EQ(Status(), "UPS: Programming!");
  EXPECT_EQ(StatusColour(), clBlue);
  EXPECT_EQ(std::count(status_history.begin(), status_history.end(), "No Response!"), 0);
  EXPECT_TRUE(form->Burning);
}

TEST_F(Programming, ASingleLineGoesOutInTheLayoutOfTheRun) {
  const struct {
    const char* name;
    int32_t addr_bytes;
    int32_t wide;
    const char* line;
    Bytes packet;
  } cases[] = {
      {"narrow", 2, 0, "4000 AA 55 ", {0x01, 0x01, 0x05, 0x02, 0x00, 0x40, 0xAA, 0x55, 0x48}},
      {"wide, 2-byte listing",
       2,
       1,
       "4000 AA 55 ",
       {0x01, 0x09, 0x06, 0x02, 0x00, 0x00, 0x40, 0xAA, 0x55, 0x51}},
      {"3-byte listing",
       3,
       0,
       "004000 AA 55 ",
       {0x01, 0x09, 0x06, 0x02, 0x00, 0x00, 0x40, 0xAA, 0x55, 0x51}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    form->MM_HEX->Lines.Clear();
    Listing({c.line});
    form->AddrBytes = c.addr_bytes;
    form->WideAddress = c.wide;
    scripted.line.ClearHostWritten();
    EnterProgramming();
    Tick();
    EXPECT_EQ(scripted.line.HostWritten(), c.packet);
    EXPECT_EQ(LinesPerPacket, 1);
  }
}

struct ResendCase {
  const char* name;
  int32_t wide;
  std::vector<Bytes> replies;  // the answers to the packets, in order; empty: silence
  int32_t burned;
  int32_t fails;
  const char* status;
  TColor colour;
};

void PrintTo(const ResendCase& c, std::ostream* os) { *os << c.name; }

class Resending : public Programming, public ::testing::WithParamInterface<ResendCase> {};

// Two lines of 2 and 3 data bytes that do not join.
TEST_P(Resending, CountsBurnedBytesOncePerAcceptedPacket) {
  const ResendCase& c = GetParam();
  form->WideAddress = c.wide;
  Listing({"4000 AA 55 ", "4010 01 02 03 "});
  EnterProgramming();
  for (const Bytes& reply : c.replies) Answer(reply);

  for (size_t tick = 0; tick <= c.replies.size(); ++tick) Tick();
  EXPECT_EQ(form->BurnedBytes, c.burned);
  EXPECT_EQ(FailCount, c.fails);
  EXPECT_EQ(Status(), c.status);
  EXPECT_EQ(StatusColour(), c.colour);
  EXPECT_TRUE(form->Burning);
  // Whatever went wrong, the packet sent last is sent again.
  ASSERT_EQ(Requests().size(), c.replies.size() + 1);
  if (!c.replies.empty()) {
    EXPECT_EQ(Requests().back(), Requests()[Requests().size() - 2]);
  }
}

const Bytes kAccept = StepFixture::ProgramReply(0x00);
const Bytes kStray = {0x02};
const Bytes kLostHeader = {0x01};

INSTANTIATE_TEST_SUITE_P(
    Programming, Resending,
    ::testing::Values(
        // Bytes count when the UPS accepts their packet, never when it is sent or sent again.
        ResendCase{"FirstPacket", 0, {}, 0, 1, "UPS: Sections Cleard!", clBlue},
        ResendCase{"Silence", 0, {{}}, 0, 2, "No Response!", clRed},
        ResendCase{"Nak", 0, {{0x15}}, 0, 2, "Rx: NAK!", clRed},
        ResendCase{
            "SumError", 0, {StepFixture::WithBadSum(kAccept)}, 0, 2, "Rx: CheckSum Error!", clRed},
        ResendCase{"UnrecognisedStatus",
                   0,
                   {StepFixture::ProgramReply(0x35)},
                   0,
                   0,
                   "UPS: Sections Cleard!",
                   clBlue},
        ResendCase{
            "StrayByteAfterAcceptance", 0, {kAccept, kStray}, 2, 0, "UPS: Programming!", clBlue},
        ResendCase{"LostHeaderAfterAcceptance",
                   0,
                   {kAccept, kLostHeader},
                   2,
                   0,
                   "UPS: Programming!",
                   clBlue},
        ResendCase{"StrayByteAfterSilence", 0, {{}, kStray}, 0, 2, "No Response!", clRed},
        ResendCase{"WideLayout",
                   1,
                   {kAccept, StepFixture::ProgramReply(0x35)},
                   0,
                   0,
                   "UPS: Programming!",
                   clBlue}),
    [](const ::testing::TestParamInfo<ResendCase>& param_info) { return param_info.param.name; });

struct HandOverCase {
  const char* name;
  std::vector<std::string> lines;
  bool read_back;
  int32_t step;
  int32_t line_index;
  int position;
  int max;
  size_t packets;
  int ticks;
};

void PrintTo(const HandOverCase& c, std::ostream* os) { *os << c.name; }

class HandOver : public Programming, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(HandOver, EndsProgrammingWithTheProgressTheNextStepExpects) {
  const HandOverCase& c = GetParam();
  for (const std::string& line : c.lines) form->MM_HEX->Lines.Add(line);
  form->CB_READ->SetChecked(c.read_back);
  EnterProgramming();
  for (int i = 0; i < 3; ++i) Answer(ProgramReply(0x00));

  EXPECT_EQ(TickUntil([&] { return form->BurnStep != kStepProgram; }), c.ticks);
  EXPECT_EQ(form->BurnStep, c.step);
  EXPECT_EQ(LineIndex, c.line_index);
  EXPECT_EQ(form->PB_BURN->Position(), c.position);
  EXPECT_EQ(form->PB_BURN->Max(), c.max);
  EXPECT_EQ(Requests().size(), c.packets);
  if (c.packets == 0) {
    EXPECT_TRUE(scripted.line.HostWritten().empty());
  }
  EXPECT_EQ(FailCount, 0);
  EXPECT_TRUE(form->Burning);
}

// RomSize 0x1000 is 64 blocks of 64 bytes; the range ends at 0x5000.
INSTANTIATE_TEST_SUITE_P(
    Programming, HandOver,
    ::testing::Values(
        HandOverCase{
            "AcceptedWithReadBack", {"4000 11 ", "4001 22 ", "4010 33 "}, true, 3, 1, 0, 3, 2, 3},
        HandOverCase{"AcceptedWithoutReadBack",
                     {"4000 11 ", "4001 22 ", "4010 33 "},
                     false,
                     4,
                     1,
                     4,
                     5,
                     2,
                     3},
        // The line at the range's end ends programming; the line inside after it is not sent.
        HandOverCase{
            "RangeEndWithReadBack", {"4000 11 ", "5000 22 ", "4800 33 "}, true, 3, 2, 0, 64, 1, 2},
        HandOverCase{"RangeEndWithoutReadBack",
                     {"4000 11 ", "5000 22 ", "4800 33 "},
                     false,
                     4,
                     2,
                     4,
                     5,
                     1,
                     2},
        HandOverCase{"LineBeyondTheRangeFirst", {"6000 11 ", "4000 22 "}, true, 3, 1, 0, 64, 0, 1},
        // ParseLine(0) finds no line: LineIndex 1 is past the line count 0.
        HandOverCase{"EmptyListingWithReadBack", {}, true, 3, 1, 0, 64, 0, 1},
        HandOverCase{"EmptyListingWithoutReadBack", {}, false, 4, 1, 1, 2, 0, 1}),
    [](const ::testing::TestParamInfo<HandOverCase>& param_info) { return param_info.param.name; });

TEST_F(Programming, ARefusalSendsThePacketOnceMoreAndEndsTheRun) {
  const struct {
    uint8_t status;
    const char* message;
  } cases[] = {
      {0x10, "UPS: Operation Failed!"},
      {0x2F, "UPS: Vpp Voltage Out of Range!"},
      {0x40, "UPS: Incorrect Cmd/Para!"},
      {0x8A, "UPS: Busy!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    form->MM_HEX->Lines.Clear();
    Listing({"4000 AA 55 ", "4010 01 "});
    scripted.device.requests.clear();
    EnterProgramming();
    Answer(ProgramReply(c.status));
    Tick();
    Tick();
    EXPECT_EQ(Status(), c.message);
    EXPECT_EQ(StatusColour(), clRed);
    EXPECT_FALSE(form->Burning);
    EXPECT_EQ(LineIndex, 0);
    ASSERT_EQ(Requests().size(), 2u);
    EXPECT_EQ(Requests()[1], Requests()[0]);

    Tick();  // the stop transition
    EXPECT_EQ(form->BurnStep, kNoRun);
    EXPECT_TRUE(form->BUT_BURN->Enabled());
    EXPECT_EQ(Status(), c.message);
    EXPECT_EQ(Requests().size(), 2u);
  }
}

TEST_F(Programming, FiveFailuresInARowEndTheRun) {
  const struct {
    const char* name;
    Bytes reply;
    const char* status;
  } cases[] = {
      {"silence", {}, "No Response!"},
      {"NAK", {0x15}, "Rx: NAK!"},
      {"sum error", WithBadSum(ProgramReply(0x00)), "Rx: CheckSum Error!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    form->MM_HEX->Lines.Clear();
    Listing({"4000 AA 55 "});
    scripted.device.requests.clear();
    EnterProgramming();
    for (int i = 0; i < 6; ++i) Answer(c.reply);
    for (int tick = 1; tick < 5; ++tick) Tick();
    EXPECT_TRUE(form->Burning);
    EXPECT_EQ(FailCount, 4);
    Tick();
    EXPECT_FALSE(form->Burning);
    EXPECT_EQ(FailCount, 0);
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(StatusColour(), clRed);
    ASSERT_EQ(Requests().size(), 5u);
    for (const Bytes& packet : Requests()) EXPECT_EQ(packet, Requests()[0]);
    Tick();
    EXPECT_EQ(form->BurnStep, kNoRun);
    EXPECT_EQ(Requests().size(), 5u);
  }
}

TEST_F(Programming, TwoJoinedLinesOfSixtyFourBytesFitOneFrame) {
  const struct {
    const char* name;
    int32_t addr_bytes;
    int32_t wide;
    const char* first;
    const char* second;
    uint8_t command;
    Bytes address;
  } cases[] = {
      {"narrow", 2, 0, "4000", "4040", 0x01, {0x00, 0x40}},
      {"wide", 2, 1, "4000", "4040", 0x09, {0x00, 0x00, 0x40}},
      {"3-byte listing", 3, 0, "014000", "014040", 0x09, {0x01, 0x00, 0x40}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    form->MM_HEX->Lines.Clear();
    Listing({CountingLine(c.first, 64, 0), CountingLine(c.second, 64, 64)});
    form->AddrBytes = c.addr_bytes;
    form->WideAddress = c.wide;
    form->StartAddr = 0;
    form->RomSize = 0x20000;
    scripted.device.requests.clear();
    EnterProgramming();
    Answer(ProgramReply(0x00));
    Tick();

    Bytes payload = {128};
    payload.insert(payload.end(), c.address.begin(), c.address.end());
    for (int k = 0; k < 128; ++k) payload.push_back(static_cast<uint8_t>(k));
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0], Frame(c.command, payload));
    EXPECT_EQ(Requests()[0][2], payload.size());
    Tick();
    EXPECT_EQ(form->BurnedBytes, c.command == 0x01 ? 128 : 0);
    EXPECT_EQ(LineIndex, 1);  // both lines accepted: the whole listing is done
    EXPECT_EQ(form->BurnStep, kStepReadBack);
  }
}

}  // namespace
