// The simulated UPS on the fake line, talked to through the utility's own serial port object
// and reply reading, on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/sim/SimHelpers.h"

namespace {

using packet::Outcome;
using protocol::Command;
using simtest::LineBench;

constexpr uint8_t kFileId[4] = {0x11, 0x22, 0x33, 0x44};

TEST(SimulatedUpsOnTheLine, TheNegotiatedSpeedTakesOverAfterTheReply) {
  LineBench bench({});
  const auto reply = packet::ReadNegotiationReply(bench.port, 1000);
  EXPECT_EQ(reply.outcome, Outcome::kNoReply);  // nothing asked yet
  packet::SendRequest(bench.port, packet::NegotiationRequest(kFileId));
  const auto negotiated = packet::ReadNegotiationReply(bench.port, 1000);
  ASSERT_EQ(negotiated.outcome, Outcome::kValid) << bench.ups.Model().Log().Text();
  EXPECT_EQ(negotiated.exponent, 4);
  EXPECT_EQ(bench.line.DeviceBaud(), 38400);

  // Still at 2400: the UPS hears noise and answers nothing.
  packet::SendRequest(bench.port, packet::VersionQueryRequest());
  EXPECT_FALSE(packet::ReadVersionReply(bench.port).has_value());
  EXPECT_EQ(bench.ups.Model().FramesReceived(Command::kVersionQuery), 0u);
  EXPECT_NE(bench.ups.Model().Log().Text().find("~~"), std::string::npos);

  ASSERT_TRUE(bench.port.Open(1, 38400));
  packet::SendRequest(bench.port, packet::VersionQueryRequest());
  const auto versions = packet::ReadVersionReply(bench.port);
  ASSERT_TRUE(versions.has_value()) << bench.ups.Model().Log().Text();
  EXPECT_EQ(versions->ups_firmware, "UPS FW 1.00");
}

TEST(SimulatedUpsOnTheLine, SilentAt2400AnswersAt9600) {
  sim::UpsConfig config;
  config.initial_baud = 9600;
  LineBench bench(config);
  packet::SendRequest(bench.port, packet::NegotiationRequest(kFileId));
  EXPECT_EQ(packet::ReadNegotiationReply(bench.port, 1000).outcome, Outcome::kNoReply);
  ASSERT_TRUE(bench.port.Open(1, 9600));
  packet::SendRequest(bench.port, packet::NegotiationRequest(kFileId));
  EXPECT_EQ(packet::ReadNegotiationReply(bench.port, 500).outcome, Outcome::kValid);
}

TEST(SimulatedUpsOnTheLine, TheEraseAnswersOnlyAfterItsTime) {
  sim::UpsConfig config;
  config.erase_time_ms = 3000;
  LineBench bench(config);
  const uint64_t sent_us = bench.clock.Now_us();
  ASSERT_EQ(bench.Exchange(packet::EraseRequest(), 2900), Outcome::kNoReply);
  EXPECT_EQ(bench.ups.Model().Executed(Command::kErase), 1u);
  // The reply comes while a second read waits, after the erase time.
  int count = 1;
  uint8_t first = 0;
  ASSERT_TRUE(bench.port.Read(&first, count, 40'000));
  EXPECT_EQ(first, protocol::kStartByte);
  EXPECT_GE(bench.clock.Now_us() - sent_us, 3'000'000u);
  EXPECT_LT(bench.clock.Now_us() - sent_us, 3'100'000u);
}

TEST(SimulatedUpsOnTheLine, ReadBackReturnsWhatWasProgrammed) {
  sim::UpsConfig config;
  config.held_bytes = 0;
  LineBench bench(config);
  ASSERT_EQ(bench.Exchange(packet::EraseRequest(), 40'000), Outcome::kValid);
  std::vector<uint8_t> data(32);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xC3 ^ (i * 5));
  ASSERT_EQ(bench.Exchange(packet::ProgramRequest(0x4000, data), 2000), Outcome::kValid);
  EXPECT_EQ(packet::StatusByte(bench.buffer), 0x00);
  ASSERT_EQ(bench.Exchange(simtest::ReadBack(0x4000, 32), 2000), Outcome::kValid);
  EXPECT_EQ(bench.Payload(), data);
}

// Every fault as the utility's reply reading sees it, on a program request.
TEST(SimulatedUpsOnTheLine, EachFaultShowsAsTheUtilitySeesIt) {
  struct Case {
    const char* rule;
    Outcome outcome;
    bool programmed;
  };
  const Case cases[] = {
      {"silence:program", Outcome::kNoReply, false},
      {"nak:program", Outcome::kNak, false},
      {"bad-sum:program", Outcome::kSumError, true},
      {"stray:program", Outcome::kStrayByte, true},
      {"cut:program", Outcome::kLostHeader, true},
      {"late:program", Outcome::kNoReply, true},
      {"busy:program", Outcome::kValid, false},
      {"vpp:program", Outcome::kValid, false},
      {"failed:program", Outcome::kValid, false},
      {"wrong-file:program", Outcome::kValid, false},
      {"unknown-status:program", Outcome::kValid, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    sim::UpsConfig config;
    config.faults = {*sim::ParseFaultRule(c.rule, nullptr)};
    LineBench bench(config);
    const uint8_t data[] = {0x5A, 0xA5};
    ASSERT_EQ(bench.Exchange(packet::EraseRequest(), 40'000), Outcome::kValid);
    EXPECT_EQ(bench.Exchange(packet::ProgramRequest(0x4100, data), 2000), c.outcome)
        << bench.ups.Model().Log().Text();
    if (c.outcome == Outcome::kValid) {
      EXPECT_EQ(packet::StatusByte(bench.buffer), c.rule[0] == 'b'   ? 0x80
                                                  : c.rule[0] == 'v' ? 0x20
                                                  : c.rule[0] == 'f' ? 0x10
                                                  : c.rule[0] == 'w' ? 0x30
                                                                     : 0x50);
    }
    EXPECT_EQ(bench.ups.Model().Read(0x4100), c.programmed ? 0x5A : 0xFF);
    EXPECT_EQ(bench.ups.Model().Faults().Hits(0), 1u);
  }
}

TEST(SimulatedUpsOnTheLine, ALateReplyMeetsTheNextRead) {
  sim::UpsConfig config;
  config.faults = {*sim::ParseFaultRule("late:inquiry@1", nullptr)};
  LineBench bench(config);
  EXPECT_EQ(bench.Exchange(packet::AddressInquiryRequest(), 500), Outcome::kNoReply);
  // The resend comes while the UPS still works on the first request and is lost; the late
  // reply is what the second read gets.
  EXPECT_EQ(bench.Exchange(packet::AddressInquiryRequest(), 500), Outcome::kValid);
  EXPECT_EQ(bench.ups.Model().FramesReceived(Command::kAddressInquiry), 1u);
}

// Where faults hit in a run of program requests, as the utility sees them.
std::vector<Outcome> ProgramRun(const char* rule, uint32_t seed, uint32_t* hits) {
  sim::UpsConfig config;
  config.faults = {*sim::ParseFaultRule(rule, nullptr)};
  config.seed = seed;
  LineBench bench(config);
  EXPECT_EQ(bench.Exchange(packet::EraseRequest(), 40'000), Outcome::kValid);
  std::vector<Outcome> outcomes;
  for (uint16_t i = 0; i < 40; ++i) {
    const uint8_t data[] = {static_cast<uint8_t>(i)};
    outcomes.push_back(bench.Exchange(packet::ProgramRequest(0x4100 + i, data), 2000));
  }
  *hits = bench.ups.Model().Faults().Hits(0);
  return outcomes;
}

TEST(SimulatedUpsOnTheLine, AFaultHitsWhereAndAsOftenAsAskedAndTheSeedRepeatsARun) {
  uint32_t hits = 0;
  const auto listed = ProgramRun("nak:program@3,17", 1, &hits);
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i], i == 2 || i == 16 ? Outcome::kNak : Outcome::kValid) << i;
  }
  EXPECT_EQ(hits, 2u);

  uint32_t first_hits = 0;
  uint32_t again_hits = 0;
  const auto first = ProgramRun("nak:program%0.3", 99, &first_hits);
  EXPECT_EQ(ProgramRun("nak:program%0.3", 99, &again_hits), first);
  EXPECT_EQ(first_hits, again_hits);
  EXPECT_EQ(static_cast<uint32_t>(std::ranges::count(first, Outcome::kNak)), first_hits);
  EXPECT_GT(first_hits, 0u);
  EXPECT_LT(first_hits, 40u);
}

TEST(SimulatedUpsOnTheLine, AVanishingUpsTakesTheLineWithIt) {
  sim::UpsConfig config;
  config.vanish_after_frames = 2;
  LineBench bench(config);
  EXPECT_EQ(bench.Exchange(packet::AddressInquiryRequest(), 500), Outcome::kValid);
  EXPECT_EQ(bench.Exchange(packet::AddressInquiryRequest(), 500), Outcome::kValid);
  EXPECT_FALSE(bench.line.Vanished());
  EXPECT_EQ(bench.Exchange(packet::AddressInquiryRequest(), 500), Outcome::kNoReply);
  EXPECT_TRUE(bench.line.Vanished());
  EXPECT_TRUE(bench.ups.Model().Vanished());
}

}  // namespace
