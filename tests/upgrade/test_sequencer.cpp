// The tick of a run: start and stop transitions, the address inquiry and the erase.
#include <gtest/gtest.h>

#include "serial/Protocol.h"
#include "serial/TRIComm.h"
#include "support/FormFixture.h"
#include "support/Frames.h"
#include "support/ScriptedDevice.h"
#include "upgrade/Sequencer.h"
#include "upgrade/SequencerVars.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kInquiry = {0x01, 0x08, 0x00, 0x09};
const Bytes kExcludedInquiry = {0x01, 0x0E, 0x00, 0x0F};
const Bytes kErase = {0x01, 0x03, 0x01, 0x01, 0x06};
const Bytes kNak = {0x15};

class Sequencer : public FormFixture {
 protected:
  ScriptedLine scripted;

  void SetUp() override {
    FormFixture::SetUp();
    form->BUT_OPEN->Click();
    ASSERT_TRUE(form->ComOpened);
    UseListing(2, {"4000 AA 55 "});
  }
  void UseListing(int32_t addr_bytes, std::initializer_list<const char*> lines) {
    form->MM_HEX->Lines.Clear();
    for (const char* line : lines) form->MM_HEX->Lines.Add(line);
    form->AddrBytes = addr_bytes;
    form->FileLoaded = true;
  }
  // The state "&Upgrade" leaves when the negotiation succeeded.
  void Negotiated() {
    form->Burning = true;
    form->PB_BURN->SetMax(form->MM_HEX->Lines.Count() + 2);
    form->PB_BURN->SetPosition(0);
  }
  void Tick() { form->Timer1Timer(form->Timer1.get()); }
  // Ticks until the run has ended and the window is unlocked; returns the ticks taken.
  int TickToEnd(int limit = 200) {
    for (int ticks = 1; ticks <= limit; ++ticks) {
      Tick();
      if (!form->Burning && !TickStarted) return ticks;
    }
    ADD_FAILURE() << "the run did not end";
    return limit;
  }
  int Count(const Bytes& request) const {
    return static_cast<int>(
        std::count(scripted.device.requests.begin(), scripted.device.requests.end(), request));
  }
  std::vector<TControl*> Locked() const {
    return {form->BUT_LOAD,   form->BUT_OPEN, form->BUT_BURN,
            form->CB_COMPort, form->Button1,  form->CB_Default};
  }
  bool Shown(const std::string& text) const {
    return std::find(status_history.begin(), status_history.end(), text) != status_history.end();
  }
  // Brings the run through the address inquiry with a 4-byte reply for 0x4000-0xEFFF.
  void ThroughInquiry() {
    Negotiated();
    scripted.device.Queue(FrameOf(protocol::Command::kAddressInquiry, {0x00, 0x40, 0xFF, 0xEF}));
    Tick();  // silence, then the inquiry
    Tick();  // the reply
    ASSERT_EQ(form->BurnStep, kStepErase);
  }
};

TEST_F(Sequencer, FirstTickLocksTheWindowAndSendsTheInquiry) {
  Negotiated();
  const uint64_t start = scripted.clock.Now_us();
  Tick();
  for (TControl* control : Locked()) EXPECT_FALSE(control->Enabled());
  EXPECT_TRUE(TickStarted);
  EXPECT_EQ(form->BurnStep, kStepAddressInquiry);
  EXPECT_EQ(FailCount, 1);  // the silence before the first request, not reported
  EXPECT_FALSE(Shown("Inquiring Start Address: No Response!"));
  EXPECT_EQ(scripted.device.requests, std::vector<Bytes>{kInquiry});
  EXPECT_EQ(Status(), "Inquiring Start/End Address!");
  EXPECT_EQ(StatusColour(), clBlue);
  EXPECT_GE(scripted.clock.Now_us() - start, 500'000u);
}

TEST_F(Sequencer, ASilentUpsEndsTheRunAfterFourInquiries) {
  // The run goes at 9600; its end brings the line back to 2400.
  RIComm->Close();
  ASSERT_TRUE(RIComm->Open(1, 9600));
  scripted.line.SetDeviceBaud(9600);
  Negotiated();
  const int ticks = TickToEnd();
  EXPECT_EQ(ticks, 6);  // five silences, then the stop transition
  EXPECT_EQ(Count(kInquiry), 4);
  EXPECT_EQ(Status(), "Inquiring Start Address: No Response!");
  EXPECT_EQ(StatusColour(), clRed);
  for (TControl* control : Locked()) EXPECT_TRUE(control->Enabled());
  EXPECT_EQ(form->BurnStep, kNoRun);
  EXPECT_EQ(scripted.line.HostBaud(), 2400);
  EXPECT_TRUE(form->ComOpened);  // the port control is left as it was
  EXPECT_EQ(form->BUT_OPEN->Caption(), "&Close");
}

TEST_F(Sequencer, InquiryRepliesSetTheTargetArea) {
  const struct {
    const char* name;
    Bytes reply;
    uint32_t start, size;
  } cases[] = {
      {"2 bytes", {0x01, 0x08, 0x02, 0x00, 0x10, 0x1B}, 0x1000, 0xE000},
      {"4 bytes", {0x01, 0x08, 0x04, 0x00, 0x10, 0xFF, 0xEF, 0x0B}, 0x1000, 0xE000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Negotiated();
    scripted.device.Queue(c.reply);
    Tick();
    Tick();
    EXPECT_EQ(form->StartAddr, c.start);
    EXPECT_EQ(form->RomSize, c.size);
    EXPECT_EQ(Status(), "Erasing!");
    EXPECT_EQ(StatusColour(), clBlue);
    EXPECT_EQ(form->BurnStep, kStepErase);
    EXPECT_TRUE(form->EraseRequest);
    EXPECT_EQ(FailCount, 0);
    EXPECT_NE(form->ImageBuf, nullptr);  // a 2-byte listing gets its image
    form->Burning = false;
    TickToEnd();
  }
}

TEST_F(Sequencer, SixByteReplyAsksForTheExcludedRangeInTheSameTick) {
  UseListing(3, {"014000 AA "});
  Negotiated();
  scripted.device.Queue({0x01, 0x08, 0x06, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x01, 0x0F});
  scripted.device.Queue({0x01, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x75});
  Tick();
  Tick();
  EXPECT_EQ(scripted.device.requests, (std::vector<Bytes>{kInquiry, kExcludedInquiry}));
  EXPECT_EQ(form->StartAddr, 0u);
  EXPECT_EQ(form->RomSize, 0xFFFF0000u);
  EXPECT_EQ(Bytes(form->ExcludeStart, form->ExcludeStart + 3), (Bytes{0x01, 0x00, 0x20}));
  EXPECT_EQ(Bytes(form->ExcludeEnd, form->ExcludeEnd + 3), (Bytes{0x01, 0xFF, 0x3F}));
  EXPECT_EQ(form->BurnStep, kStepErase);
  EXPECT_EQ(form->ImageBuf, nullptr);  // 3-byte listings get no image
}

TEST_F(Sequencer, BadExcludedRangeSumSetsThreeFailuresAndAsksAgain) {
  UseListing(3, {"014000 AA "});
  Negotiated();
  scripted.device.Queue({0x01, 0x08, 0x06, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x01, 0x0F});
  scripted.device.Queue({0x01, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x76});
  Tick();
  Tick();
  EXPECT_EQ(Status(), "Rx: CheckSum Error!");
  EXPECT_EQ(FailCount, kFailCountAfterBadExcludedRange);
  EXPECT_EQ(form->BurnStep, kStepAddressInquiry);
  Tick();  // nothing was asked: the silence is reported and the inquiry sent again
  EXPECT_EQ(FailCount, 4);
  EXPECT_TRUE(Shown("Inquiring Start Address: No Response!"));
  EXPECT_EQ(scripted.device.requests.back(), kInquiry);
}

TEST_F(Sequencer, ABadExcludedRangeForeverEndsTheRunInRed) {
  UseListing(3, {"014000 AA "});
  Negotiated();
  for (int i = 0; i < 100; ++i) {
    scripted.device.Queue({0x01, 0x08, 0x06, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x01, 0x0F});
    scripted.device.Queue({0x01, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x76});
  }
  TickToEnd(3 * kMaxTicksWithoutProgress);
  EXPECT_EQ(StatusColour(), clRed);
  EXPECT_EQ(Count(kErase), 0);
}

TEST_F(Sequencer, IllegalLengthEndsTheRunWithoutErasing) {
  Negotiated();
  scripted.device.Queue({0x01, 0x08, 0x03, 0x00, 0x10, 0x00, 0x1C});
  Tick();
  Tick();
  EXPECT_EQ(Status(), "Illegel ROM size!");
  EXPECT_EQ(StatusColour(), clRed);
  EXPECT_EQ(form->RomSize, 0u);
  EXPECT_FALSE(form->Burning);
  TickToEnd();
  EXPECT_EQ(Count(kErase), 0);
}

TEST_F(Sequencer, TwoByteListingCannotHaveAnUnboundedImage) {
  Negotiated();
  scripted.device.Queue({0x01, 0x08, 0x06, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x01, 0x0F});
  scripted.device.Queue({0x01, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x75});
  Tick();
  Tick();
  EXPECT_EQ(Status(), "UPS: Allocate Memory Error!");
  EXPECT_EQ(StatusColour(), clBlue);  // the colour of "Erasing!" before it
  EXPECT_EQ(form->ImageBuf, nullptr);
  TickToEnd();
  EXPECT_EQ(Count(kErase), 0);
}

TEST_F(Sequencer, ListingsThatCannotBeSentAreRefusedBeforeTheErase) {
  const struct {
    const char* name;
    int32_t addr_bytes;
    int32_t wide;
    const char* line;
  } cases[] = {
      {"4-byte addresses, narrow UPS", 4, 0, "00014000 AA "},
      {"4-byte address beyond 24 bits", 4, 1, "01014000 AA "},
      {"no address width", 0, 0, "4000 AA "},
      {"no data at all", 2, 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.line != nullptr) {
      UseListing(c.addr_bytes, {c.line});
    } else {
      UseListing(c.addr_bytes, {});
    }
    scripted.device.requests.clear();
    Negotiated();
    form->WideAddress = c.wide;
    scripted.device.Queue({0x01, 0x08, 0x06, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x01, 0x0F});
    scripted.device.Queue({0x01, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x75});
    TickToEnd();
    EXPECT_EQ(StatusColour(), clRed);
    EXPECT_FALSE(Status().empty());
    EXPECT_EQ(Count(kErase), 0);
  }
}

TEST_F(Sequencer, EraseSuccessHandsOverToProgramming) {
  ThroughInquiry();
  scripted.device.Queue({0x01, 0x03, 0x01, 0x00, 0x05}, 2000);
  Tick();  // the erase request
  EXPECT_EQ(scripted.device.requests.back(), kErase);
  EXPECT_EQ(Status(), "Erasing!");
  Tick();  // the answer, two seconds later
  EXPECT_EQ(Status(), "UPS: Sections Cleard!");
  EXPECT_EQ(StatusColour(), clBlue);
  EXPECT_EQ(form->BurnStep, kStepProgram);
  EXPECT_EQ(form->PB_BURN->Position(), 1);
  EXPECT_EQ(LineIndex, 0);
  EXPECT_EQ(SentLine, 0);
  EXPECT_EQ(FirstPacket, 1);
  EXPECT_EQ(form->BurnedBytes, 0);
  EXPECT_EQ(Count(kErase), 1);  // nothing sent in the tick that moved on
}

TEST_F(Sequencer, SectionsClearedKeepsTheColourOfTheMessageBefore) {
  for (const int silences : {1, 2}) {
    SCOPED_TRACE(silences);
    ThroughInquiry();
    for (int i = 0; i < silences; ++i) scripted.device.QueueSilence();
    scripted.device.Queue({0x01, 0x03, 0x01, 0x00, 0x05});
    for (int i = 0; i <= silences + 1; ++i) Tick();
    EXPECT_EQ(form->BurnStep, kStepProgram);
    EXPECT_EQ(Status(), "UPS: Sections Cleard!");
    // The first silence is not reported; the second shows "No Response!" in red.
    EXPECT_EQ(StatusColour(), silences == 1 ? clBlue : clRed);
    form->Burning = false;
    TickToEnd();
  }
}

TEST_F(Sequencer, EraseStatusesAndNak) {
  const struct {
    const char* name;
    Bytes reply;
    bool run_goes_on;
    const char* message;
    TColor colour;
    int32_t fail_count;
  } cases[] = {
      {"wrong file",
       {0x01, 0x03, 0x01, 0x35, 0x3A},
       false,
       "File Is Not Belong To The UPS!",
       clRed,
       0},
      {"busy", {0x01, 0x03, 0x01, 0x80, 0x85}, false, "UPS: Busy!", clRed, 0},
      {"unknown status", {0x01, 0x03, 0x01, 0x55, 0x5A}, true, "Erasing!", clBlue, 0},
      {"nak", kNak, true, "Rx: NAK!", clRed, 0},
      {"sum error", {0x01, 0x03, 0x01, 0x55, 0x5B}, true, "Rx: CheckSum Error!", clRed, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    scripted.device.requests.clear();
    ThroughInquiry();
    scripted.device.Queue(c.reply);
    Tick();  // the erase request
    Tick();  // its answer, and the erase request once more
    EXPECT_EQ(Count(kErase), 2);
    EXPECT_EQ(form->Burning, c.run_goes_on);
    EXPECT_EQ(Status(), c.message);
    EXPECT_EQ(StatusColour(), c.colour);
    EXPECT_EQ(FailCount, c.fail_count);
    EXPECT_EQ(form->BurnStep, kStepErase);
    form->Burning = false;
    TickToEnd();
  }
}

TEST_F(Sequencer, ASilentEraseGivesUpAfterFiveWaitsOfFortySeconds) {
  ThroughInquiry();
  const uint64_t start = scripted.clock.Now_us();
  TickToEnd();
  EXPECT_EQ(Count(kErase), 6);
  EXPECT_EQ(Status(), "No Response!");
  EXPECT_EQ(StatusColour(), clRed);
  EXPECT_GE(scripted.clock.Now_us() - start, 5 * 40'000'000u);
  EXPECT_LT(scripted.clock.Now_us() - start, 5 * 41'000'000u);
}

TEST_F(Sequencer, EndOfTickRuleAppliesToAnyStep) {
  Negotiated();
  Tick();
  form->BurnStep = 9;
  FailCount = 5;
  Tick();
  EXPECT_FALSE(form->Burning);
  EXPECT_EQ(FailCount, 0);
}

TEST_F(Sequencer, DefaultValueBoxIsEnabledAfterEveryRun) {
  ASSERT_FALSE(form->CB_Default->Enabled());
  Negotiated();
  TickToEnd();
  EXPECT_TRUE(form->CB_Default->Enabled());
}

TEST_F(Sequencer, AVanishingUpsEndsTheRunAndThePortOpensWhenItIsBack) {
  ThroughInquiry();
  scripted.line.Vanish();
  TickToEnd();
  EXPECT_EQ(StatusColour(), clRed);
  for (TControl* control : Locked()) EXPECT_TRUE(control->Enabled());
  scripted.line.Reappear();
  form->BUT_OPEN->Click();  // "&Close"
  form->BUT_OPEN->Click();  // "&Open"
  EXPECT_TRUE(form->ComOpened);
  EXPECT_TRUE(boxes.empty());
  Bytes texts(32, 0);
  texts[0] = 'A';
  texts[16] = 'B';
  scripted.device.Queue(FrameOf(protocol::Command::kVersionQuery, texts));
  form->Button1->Click();
  EXPECT_EQ(form->L_UPSVersion->Caption(), "A");
}

}  // namespace
