// Fault rules: their text form, and where and how often a plan makes them hit.
#include <gtest/gtest.h>

#include "sim/Faults.h"

namespace {

using protocol::Command;
using sim::FaultKind;
using sim::FaultPlan;
using sim::FaultRule;
using sim::ParseFaultRule;

TEST(FaultRuleText, ParsesEveryPart) {
  struct Case {
    const char* text;
    FaultKind kind;
    uint8_t status;
    std::optional<Command> command;
    std::vector<uint32_t> occurrences;
    double rate;
    uint32_t max_hits;
  };
  const Case cases[] = {
      {"silence", FaultKind::kSilence, 0, std::nullopt, {}, 1.0, 0},
      {"nak:program@3", FaultKind::kNak, 0, Command::kProgram, {3}, 1.0, 0},
      {"bad-sum:read-back%0.25/4", FaultKind::kBadSum, 0, Command::kReadBack, {}, 0.25, 4},
      {"stray:any@1,2,7", FaultKind::kStrayByte, 0, std::nullopt, {1, 2, 7}, 1.0, 0},
      {"cut:0x08", FaultKind::kCutReply, 0, Command::kAddressInquiry, {}, 1.0, 0},
      {"late:erase@2", FaultKind::kLateReply, 0, Command::kErase, {2}, 1.0, 0},
      {"busy:erase@1", FaultKind::kStatus, 0x80, Command::kErase, {1}, 1.0, 0},
      {"vpp:wide-program", FaultKind::kStatus, 0x20, Command::kWideProgram, {}, 1.0, 0},
      {"failed", FaultKind::kStatus, 0x10, std::nullopt, {}, 1.0, 0},
      {"wrong-file:erase", FaultKind::kStatus, 0x30, Command::kErase, {}, 1.0, 0},
      {"unknown-status:program", FaultKind::kStatus, 0x50, Command::kProgram, {}, 1.0, 0},
      {"status=0x9A:checksum%1",
       FaultKind::kStatus,
       0x9A,
       Command::kChecksumComparison,
       {},
       1.0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto rule = ParseFaultRule(c.text, &error);
    ASSERT_TRUE(rule.has_value()) << error;
    EXPECT_EQ(rule->kind, c.kind);
    EXPECT_EQ(rule->status, c.status);
    EXPECT_EQ(rule->command, c.command);
    EXPECT_EQ(rule->occurrences, c.occurrences);
    EXPECT_DOUBLE_EQ(rule->rate, c.rate);
    EXPECT_EQ(rule->max_hits, c.max_hits);
  }
}

TEST(FaultRuleText, RejectsWhatItCannotMean) {
  for (const char* text : {"", "explode", "nak:frobnicate", "nak@0", "nak@", "nak@x", "nak%1.5",
                           "nak%-0.1", "nak%0.5/0", "busy:version", "status=0x1FF"}) {
    std::string error;
    EXPECT_FALSE(ParseFaultRule(text, &error).has_value()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

// The commands of a made-up run, in order.
std::vector<uint8_t> Run() {
  std::vector<uint8_t> codes = {static_cast<uint8_t>(Command::kNegotiation),
                                static_cast<uint8_t>(Command::kAddressInquiry),
                                static_cast<uint8_t>(Command::kErase)};
  for (int i = 0; i < 200; ++i) codes.push_back(static_cast<uint8_t>(Command::kProgram));
  codes.push_back(static_cast<uint8_t>(Command::kChecksumComparison));
  return codes;
}

// Which requests of Run() a plan hits, by index.
std::vector<size_t> HitIndices(const std::vector<FaultRule>& rules, uint32_t seed) {
  FaultPlan plan(rules, seed);
  std::vector<size_t> hit;
  const auto codes = Run();
  for (size_t i = 0; i < codes.size(); ++i) {
    if (plan.Judge(codes[i]) != nullptr) hit.push_back(i);
  }
  return hit;
}

TEST(FaultPlan, OccurrencesHitExactlyTheListedMatchingRequests) {
  // Program requests start at index 3 of Run(): the 2nd and 5th are indices 4 and 7.
  EXPECT_EQ(HitIndices({*ParseFaultRule("nak:program@2,5", nullptr)}, 1),
            (std::vector<size_t>{4, 7}));
  // A status fault for any command passes over those whose reply has no status byte.
  EXPECT_EQ(HitIndices({*ParseFaultRule("busy@1,2", nullptr)}, 1), (std::vector<size_t>{2, 3}));
  // A rule's count is its own: an earlier rule that hits does not move it.
  EXPECT_EQ(HitIndices({*ParseFaultRule("silence:any@5", nullptr),
                        *ParseFaultRule("nak:program@2", nullptr)},
                       1),
            (std::vector<size_t>{4}));
}

TEST(FaultPlan, RateIsRepeatableBySeedAndBoundedByItsLimit) {
  const FaultRule rate = *ParseFaultRule("bad-sum:program%0.2", nullptr);
  const auto first = HitIndices({rate}, 42);
  EXPECT_EQ(HitIndices({rate}, 42), first);
  EXPECT_NE(HitIndices({rate}, 43), first);
  // About a fifth of the 200 program requests, and only those.
  EXPECT_GT(first.size(), 20u);
  EXPECT_LT(first.size(), 60u);
  for (const size_t i : first) {
    EXPECT_GE(i, 3u);
    EXPECT_LT(i, 203u);
  }
  // The limit keeps the first hits of the same draw.
  const auto limited = HitIndices({*ParseFaultRule("bad-sum:program%0.2/3", nullptr)}, 42);
  EXPECT_EQ(limited, (std::vector<size_t>(first.begin(), first.begin() + 3)));
  EXPECT_TRUE(HitIndices({*ParseFaultRule("nak%0", nullptr)}, 42).empty());
}

}  // namespace
