// The simulated UPS on its own: what it answers, what it keeps in its flash, and when.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/sim/SimHelpers.h"

namespace {

using protocol::Command;
using simtest::Bytes;
using simtest::ModelDriver;

constexpr uint8_t kErased = 0xFF;

sim::UpsConfig SmallUps() {
  sim::UpsConfig config;
  config.range = {0x4000, 0x4FFF};
  config.excluded = sim::AddressRange{0x4800, 0x48FF};
  return config;
}

// A reply frame's status byte (its first payload byte).
uint8_t Status(const std::vector<uint8_t>& reply) {
  EXPECT_GE(reply.size(), protocol::kHeaderBytes + 2) << "no reply frame";
  return reply.size() > protocol::kHeaderBytes ? reply[protocol::kHeaderBytes] : 0xEE;
}

std::vector<uint8_t> Payload(const std::vector<uint8_t>& reply) {
  if (reply.size() < protocol::kHeaderBytes + 1) return {};
  return {reply.begin() + protocol::kHeaderBytes, reply.end() - 1};
}

TEST(SimulatedUpsFrames, AFrameWithAWrongSumIsNotCarriedOut) {
  for (const bool nak : {true, false}) {
    SCOPED_TRACE(nak ? "NAK" : "silent");
    sim::UpsConfig config = SmallUps();
    config.nak_bad_sum = nak;
    ModelDriver ups(config);
    ASSERT_EQ(Status(ups.Ask(packet::EraseRequest())), 0x00);
    const uint8_t data[] = {0x12, 0x34};
    auto frame = Bytes(packet::ProgramRequest(0x4100, data));
    frame.back() ^= 0x01;
    const auto answer = ups.Ask(frame);
    EXPECT_EQ(answer, nak ? std::vector<uint8_t>{protocol::kNak} : std::vector<uint8_t>{});
    EXPECT_EQ(ups.model.Read(0x4100), kErased);
    EXPECT_EQ(ups.model.Executed(Command::kProgram), 0u);
    EXPECT_EQ(ups.model.BadSumFrames(), 1u);
    // The same frame with its sum right is carried out.
    frame.back() ^= 0x01;
    EXPECT_EQ(Status(ups.Ask(frame)), 0x00);
    EXPECT_EQ(ups.model.Read(0x4101), 0x34);
  }
}

TEST(SimulatedUpsFrames, GarbageAndAnUnfinishedFrameDoNotHideTheNextRequest) {
  ModelDriver ups(SmallUps());
  const auto inquiry = Bytes(packet::AddressInquiryRequest());
  // Stray bytes, then the first three bytes of a frame that never ends.
  simtest::Deliver(ups.model, std::vector<uint8_t>{0x00, 0x7E, 0x01, 0x01, 0x09}, 1000);
  // After the gap the UPS drops the unfinished frame and takes the request.
  const auto actions = simtest::Deliver(ups.model, inquiry, 1'000'000);
  EXPECT_EQ(Payload(simtest::Sent(actions)), (std::vector<uint8_t>{0x00, 0x40, 0xFF, 0x4F}));
  EXPECT_NE(ups.model.Log().Text().find("frame cut short"), std::string::npos);
}

TEST(SimulatedUpsAnswers, AddressInquiryInEachForm) {
  struct Case {
    int bytes;
    std::vector<uint8_t> payload;
  };
  const Case cases[] = {
      {2, {0x00, 0x40}},
      {4, {0x00, 0x40, 0xFF, 0x4F}},
      {6, {0x00, 0x40, 0x00, 0xFF, 0x4F, 0x00}},
  };
  for (const Case& c : cases) {
    sim::UpsConfig config = SmallUps();
    config.inquiry_bytes = c.bytes;
    ModelDriver ups(config);
    EXPECT_EQ(Payload(ups.Ask(packet::AddressInquiryRequest())), c.payload) << c.bytes;
  }
}

TEST(SimulatedUpsAnswers, VersionNegotiationAndExcludedRange) {
  sim::UpsConfig config = SmallUps();
  config.firmware_version = "FW-0123456789ABCDEF";  // longer than 16: cut
  config.programmer_version = "PRG 1";
  config.mode_byte = 0x10;
  config.speed_exponent = 3;
  ModelDriver ups(config);

  const auto version = ups.Ask(packet::VersionQueryRequest());
  ASSERT_EQ(version.size(), protocol::kVersionReplyBytes);
  const std::string texts(version.begin() + 3, version.end() - 1);
  EXPECT_EQ(texts.substr(0, 16), "FW-0123456789ABC");
  EXPECT_EQ(texts.substr(16), std::string("PRG 1") + std::string(11, '\0'));

  const uint8_t file_id[4] = {1, 2, 3, 4};
  EXPECT_EQ(Payload(ups.Ask(packet::NegotiationRequest(file_id))), (std::vector<uint8_t>{0x10, 3}));
  ASSERT_FALSE(ups.last.empty());
  const sim::Action& change = ups.last.back();
  EXPECT_EQ(change.kind, sim::Action::Kind::kSetBaud);
  EXPECT_EQ(change.baud, 19200);
  // Only once the reply (6 bytes at 2400 baud) has gone out.
  EXPECT_EQ(change.at_us, ups.last.front().at_us + sim::WireTime_us(6, 2400));
  EXPECT_TRUE(ups.model.WideSession());

  const auto excluded = ups.Ask(packet::ExcludedRangeInquiryRequest());
  ASSERT_EQ(excluded.size(), protocol::kExcludedRangeReplyBytes);
  EXPECT_EQ(protocol::FromWireAddress(&excluded[3]), 0x4800u);
  EXPECT_EQ(protocol::FromWireAddress(&excluded[6]), 0x48FFu);
}

TEST(SimulatedUpsAnswers, AnotherFileIdGetsTheEraseRefused) {
  sim::UpsConfig config = SmallUps();
  config.file_id = std::array<uint8_t, 4>{0xDE, 0xAD, 0xBE, 0xEF};
  ModelDriver ups(config);
  const uint8_t wrong[4] = {0xDE, 0xAD, 0xBE, 0xEE};
  const uint8_t right[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  ups.Ask(packet::NegotiationRequest(wrong));
  EXPECT_EQ(Status(ups.Ask(packet::EraseRequest())), sim::kStatusWrongFile);
  ups.Ask(packet::NegotiationRequest(right));
  EXPECT_EQ(Status(ups.Ask(packet::EraseRequest())), sim::kStatusOk);
}

TEST(SimulatedUpsProgram, RefusesWhatIsOutsideTheRangeOrExcluded) {
  struct Case {
    const char* what;
    bool wide;
    uint32_t address;
    size_t count;
    uint8_t status;
  };
  const Case cases[] = {
      {"inside", false, 0x4100, 16, sim::kStatusOk},
      {"last bytes of the range", false, 0x4FF0, 16, sim::kStatusOk},
      {"wide, inside", true, 0x4200, 16, sim::kStatusOk},
      {"below the range", false, 0x3F00, 16, sim::kStatusIncorrectCmdPara},
      {"across the start", false, 0x3FFF, 2, sim::kStatusIncorrectCmdPara},
      {"across the end", false, 0x4FF8, 16, sim::kStatusIncorrectCmdPara},
      {"into the excluded range", false, 0x47FF, 2, sim::kStatusIncorrectCmdPara},
      {"inside the excluded range", true, 0x4810, 4, sim::kStatusIncorrectCmdPara},
      {"wide, above 64 KiB", true, 0x014100, 4, sim::kStatusIncorrectCmdPara},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::UpsConfig config = SmallUps();
    config.initial_fill = 0xFF;  // so that a write into the excluded range would show
    ModelDriver ups(config);
    ASSERT_EQ(Status(ups.Ask(packet::EraseRequest())), sim::kStatusOk);
    std::vector<uint8_t> data(c.count);
    std::iota(data.begin(), data.end(), uint8_t{0x21});
    std::vector<uint8_t> before;
    for (size_t i = 0; i < c.count; ++i) {
      before.push_back(ups.model.Read(c.address + static_cast<uint32_t>(i)));
    }
    const auto reply =
        ups.Ask(c.wide ? simtest::WideProgram(c.address, data)
                       : packet::ProgramRequest(static_cast<uint16_t>(c.address), data));
    EXPECT_EQ(Status(reply), c.status);
    const bool written = c.status == sim::kStatusOk;
    for (size_t i = 0; i < c.count; ++i) {
      EXPECT_EQ(ups.model.Read(c.address + static_cast<uint32_t>(i)), written ? data[i] : before[i])
          << i;
    }
    EXPECT_EQ(ups.model.ProgrammedCount(), written ? c.count : 0u);
  }
}

TEST(SimulatedUpsProgram, FlashOnlyClearsBitsAndSaysSoWhenDataDoesNotStick) {
  ModelDriver ups(SmallUps());
  ASSERT_EQ(Status(ups.Ask(packet::EraseRequest())), sim::kStatusOk);
  const uint8_t first[] = {0x0F, 0xF0};
  const uint8_t again[] = {0x0F, 0xF0};
  const uint8_t other[] = {0xF0, 0xF0};
  EXPECT_EQ(Status(ups.Ask(packet::ProgramRequest(0x4100, first))), sim::kStatusOk);
  // The same data again (a resend after a lost reply) is fine.
  EXPECT_EQ(Status(ups.Ask(packet::ProgramRequest(0x4100, again))), sim::kStatusOk);
  // Other data over it: AND, and the operation failed.
  EXPECT_EQ(Status(ups.Ask(packet::ProgramRequest(0x4100, other))), sim::kStatusOperationFailed);
  EXPECT_EQ(ups.model.Read(0x4100), 0x00);
  EXPECT_EQ(ups.model.Read(0x4101), 0xF0);
  // Without an erase the old contents (0x00 here) spoil every write.
  ModelDriver unerased(SmallUps());
  EXPECT_EQ(Status(unerased.Ask(packet::ProgramRequest(0x4100, first))),
            sim::kStatusOperationFailed);
}

TEST(SimulatedUpsReadBack, ReturnsWhatWasProgrammedWithTheHeldBytesStillErased) {
  ModelDriver ups(SmallUps());
  ASSERT_EQ(Status(ups.Ask(packet::EraseRequest())), sim::kStatusOk);
  std::vector<uint8_t> head(24);
  std::iota(head.begin(), head.end(), uint8_t{1});
  std::vector<uint8_t> wide(40);
  std::iota(wide.begin(), wide.end(), uint8_t{0x80});
  ASSERT_EQ(Status(ups.Ask(packet::ProgramRequest(0x4000, head))), sim::kStatusOk);
  ASSERT_EQ(Status(ups.Ask(simtest::WideProgram(0x4018, wide))), sim::kStatusOk);

  const auto reply = ups.Ask(simtest::ReadBack(0x4000, 0x40));
  ASSERT_EQ(reply.size(), 0x40u + 4);
  EXPECT_EQ(reply[1], static_cast<uint8_t>(Command::kReadBack));
  std::vector<uint8_t> expected = head;
  expected.insert(expected.end(), wide.begin(), wide.end());
  expected[0] = expected[1] = kErased;  // held back until the checksum comparison
  EXPECT_EQ(Payload(reply), expected);
  // Past the end of the range the UPS reads erased bytes.
  EXPECT_EQ(Payload(ups.Ask(simtest::ReadBack(0x4FFE, 4))),
            (std::vector<uint8_t>{kErased, kErased, kErased, kErased}));
}

// The sum the utility expects after programming `lines` into a UPS whose inquiry reply gives
// `start` in its 2-byte form: the image of the range up to 0xF000, filled with 0xFF, with the
// listing copied in, summed; and the data bytes sent counted.
uint16_t UtilityExpectedSum(uint32_t start,
                            const std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& lines) {
  const uint32_t rom_size = 0xF000 - start;
  std::vector<uint8_t> image(rom_size, 0xFF);
  uint32_t burned = 0;
  for (const auto& [address, data] : lines) {
    std::copy(data.begin(), data.end(), image.begin() + (address - start));
    burned += static_cast<uint32_t>(data.size());
  }
  const uint32_t image_sum = std::accumulate(image.begin(), image.end(), 0u);
  return static_cast<uint16_t>((rom_size - burned) * 255 + image_sum);
}

TEST(SimulatedUpsChecksum, ACorrectNarrowUpgradeMatchesTheUtilitysExpectedSum) {
  sim::UpsConfig config;  // the defaults: 0x4000-0xEFFF, narrow
  config.inquiry_bytes = 2;
  ModelDriver ups(config);
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> lines;
  for (uint16_t address = 0x4000; address < 0x4400; address += 16) {
    std::vector<uint8_t> data(16);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(address * 7 + i * 13);
    lines.emplace_back(address, data);
  }
  lines.emplace_back(0xEFF0, std::vector<uint8_t>(16, 0x00));  // last bytes of the range

  const uint8_t file_id[4] = {};
  ups.Ask(packet::NegotiationRequest(file_id));
  ASSERT_EQ(Status(ups.Ask(packet::EraseRequest())), sim::kStatusOk);
  for (const auto& [address, data] : lines) {
    ASSERT_EQ(Status(ups.Ask(packet::ProgramRequest(address, data))), sim::kStatusOk);
  }
  const uint16_t expected = UtilityExpectedSum(0x4000, lines);
  EXPECT_EQ(ups.model.OwnSum(), expected);
  EXPECT_NE(Status(ups.Ask(packet::ChecksumComparisonRequest(expected + 1))), 0x00);
  EXPECT_EQ(ups.model.Read(0x4000), kErased);
  EXPECT_EQ(Status(ups.Ask(packet::ChecksumComparisonRequest(expected))), 0x00);
  // The match writes the held bytes.
  EXPECT_EQ(ups.model.Read(0x4000), lines[0].second[0]);
  EXPECT_EQ(ups.model.Read(0x4001), lines[0].second[1]);
}

TEST(SimulatedUpsTiming, RepliesComeAfterTheRequestAndTheWorkItTakes) {
  sim::UpsConfig config = SmallUps();
  config.erase_time_ms = 2500;
  config.reply_latency_us = 700;
  config.program_us_per_byte = 100;
  ModelDriver ups(config);
  const auto erase = Bytes(packet::EraseRequest());
  const auto actions = simtest::Deliver(ups.model, erase, 10'000);
  const uint64_t request_end = 10'000 + sim::WireTime_us(erase.size(), 2400);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].at_us, request_end + 700 + 2'500'000);
  // A request that comes while the UPS erases is lost.
  const auto busy =
      simtest::Deliver(ups.model, Bytes(packet::AddressInquiryRequest()), request_end + 1'000'000);
  EXPECT_TRUE(busy.empty());
  const uint8_t data[10] = {};
  const auto program = Bytes(packet::ProgramRequest(0x4100, data));
  const auto programmed = simtest::Deliver(ups.model, program, 5'000'000);
  ASSERT_EQ(programmed.size(), 1u);
  EXPECT_EQ(programmed[0].at_us,
            5'000'000 + sim::WireTime_us(program.size(), 2400) + 700 + 10 * 100);
}

}  // namespace
