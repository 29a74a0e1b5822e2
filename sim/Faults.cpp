#include "sim/Faults.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

using protocol::Command;

struct CommandNameEntry {
  const char* name;
  Command command;
};

constexpr CommandNameEntry kCommandNames[] = {
    {"version", Command::kVersionQuery},
    {"negotiation", Command::kNegotiation},
    {"inquiry", Command::kAddressInquiry},
    {"excluded", Command::kExcludedRangeInquiry},
    {"erase", Command::kErase},
    {"program", Command::kProgram},
    {"wide-program", Command::kWideProgram},
    {"read-back", Command::kReadBack},
    {"checksum", Command::kChecksumComparison},
};

struct KindNameEntry {
  const char* name;
  FaultKind kind;
};

constexpr KindNameEntry kKindNames[] = {
    {"silence", FaultKind::kSilence}, {"nak", FaultKind::kNak},
    {"bad-sum", FaultKind::kBadSum},  {"stray", FaultKind::kStrayByte},
    {"cut", FaultKind::kCutReply},    {"late", FaultKind::kLateReply},
};

// Status faults by name: a representative byte of each high nibble.
struct StatusNameEntry {
  const char* name;
  uint8_t status;
};

constexpr uint8_t StatusOf(protocol::StatusNibble nibble) {
  return static_cast<uint8_t>(static_cast<uint8_t>(nibble) << 4);
}

constexpr StatusNameEntry kStatusNames[] = {
    {"busy", StatusOf(protocol::StatusNibble::kBusy)},
    {"vpp", StatusOf(protocol::StatusNibble::kVppOutOfRange)},
    {"failed", StatusOf(protocol::StatusNibble::kOperationFailed)},
    {"wrong-file", StatusOf(protocol::StatusNibble::kWrongFile)},
    {"unknown-status", 0x50},  // a nibble the utility does not recognise
};

bool ParseRate(std::string_view text, double& rate) {
  // from_chars for double is not everywhere yet; the text is short and plain.
  const std::string copy(text);
  char* end = nullptr;
  rate = std::strtod(copy.c_str(), &end);
  return !copy.empty() && end == copy.c_str() + copy.size() && rate >= 0.0 && rate <= 1.0;
}

bool Fail(std::string* error, std::string why) {
  if (error != nullptr) *error = std::move(why);
  return false;
}

}  // namespace

bool HasStatusByte(Command command) {
  switch (command) {
    case Command::kErase:
    case Command::kProgram:
    case Command::kWideProgram:
    case Command::kChecksumComparison:
      return true;
    default:
      return false;
  }
}

std::optional<Command> ParseCommandName(std::string_view name) {
  for (const auto& entry : kCommandNames) {
    if (name == entry.name) return entry.command;
  }
  uint8_t code = 0;
  if (name.starts_with("0x") && ParseNumber(name, code)) {
    for (const auto& entry : kCommandNames) {
      if (static_cast<uint8_t>(entry.command) == code) return entry.command;
    }
  }
  return std::nullopt;
}

std::string CommandName(uint8_t code) {
  for (const auto& entry : kCommandNames) {
    if (static_cast<uint8_t>(entry.command) == code) return entry.name;
  }
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", code);
  return text;
}

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string* error) {
  FaultRule rule;
  // Split off the selection part (@... or %...).
  std::string_view selection;
  const size_t sel = text.find_first_of("@%");
  if (sel != std::string_view::npos) {
    selection = text.substr(sel);
    text = text.substr(0, sel);
  }
  std::string_view kind = text;
  std::string_view command;
  if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
    kind = text.substr(0, colon);
    command = text.substr(colon + 1);
  }

  bool known = false;
  for (const auto& entry : kKindNames) {
    if (kind == entry.name) {
      rule.kind = entry.kind;
      known = true;
    }
  }
  for (const auto& entry : kStatusNames) {
    if (kind == entry.name) {
      rule.kind = FaultKind::kStatus;
      rule.status = entry.status;
      known = true;
    }
  }
  if (!known && kind.starts_with("status=")) {
    if (!ParseNumber(kind.substr(7), rule.status)) {
      Fail(error, "bad status byte in \"" + std::string(kind) + "\"");
      return std::nullopt;
    }
    rule.kind = FaultKind::kStatus;
    known = true;
  }
  if (!known) {
    Fail(error, "unknown fault \"" + std::string(kind) + "\"");
    return std::nullopt;
  }

  if (!command.empty() && command != "any") {
    rule.command = ParseCommandName(command);
    if (!rule.command) {
      Fail(error, "unknown command \"" + std::string(command) + "\"");
      return std::nullopt;
    }
    if (rule.kind == FaultKind::kStatus && !HasStatusByte(*rule.command)) {
      Fail(error, "the reply to \"" + std::string(command) + "\" has no status byte");
      return std::nullopt;
    }
  }

  if (selection.starts_with("@")) {
    selection.remove_prefix(1);
    while (!selection.empty()) {
      const size_t comma = selection.find(',');
      const std::string_view item = selection.substr(0, comma);
      uint32_t n = 0;
      if (!ParseNumber(item, n) || n == 0) {
        Fail(error, "bad occurrence \"" + std::string(item) + "\" (counted from 1)");
        return std::nullopt;
      }
      rule.occurrences.push_back(n);
      if (comma == std::string_view::npos) break;
      selection.remove_prefix(comma + 1);
    }
    if (rule.occurrences.empty()) {
      Fail(error, "no occurrence after @");
      return std::nullopt;
    }
  } else if (selection.starts_with("%")) {
    selection.remove_prefix(1);
    std::string_view rate = selection;
    if (const size_t slash = selection.find('/'); slash != std::string_view::npos) {
      rate = selection.substr(0, slash);
      if (!ParseNumber(selection.substr(slash + 1), rule.max_hits) || rule.max_hits == 0) {
        Fail(error, "bad hit limit after /");
        return std::nullopt;
      }
    }
    if (!ParseRate(rate, rule.rate)) {
      Fail(error, "bad rate \"" + std::string(rate) + "\" (0 to 1)");
      return std::nullopt;
    }
  }
  return rule;
}

std::string Describe(const FaultRule& rule) {
  std::string text;
  if (rule.kind == FaultKind::kStatus) {
    char status[16];
    std::snprintf(status, sizeof status, "status=0x%02X", rule.status);
    text = status;
  } else {
    for (const auto& entry : kKindNames) {
      if (entry.kind == rule.kind) text = entry.name;
    }
  }
  text += ":";
  text += rule.command ? CommandName(static_cast<uint8_t>(*rule.command)) : "any";
  if (!rule.occurrences.empty()) {
    for (size_t i = 0; i < rule.occurrences.size(); ++i) {
      text += (i == 0 ? "@" : ",") + std::to_string(rule.occurrences[i]);
    }
  } else {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%%%g", rule.rate);
    text += rate;
    if (rule.max_hits != 0) text += "/" + std::to_string(rule.max_hits);
  }
  return text;
}

FaultPlan::FaultPlan(std::vector<FaultRule> rules, uint32_t seed)
    : rules_(std::move(rules)), matched_(rules_.size()), hits_(rules_.size()), rng_(seed) {}

const FaultRule* FaultPlan::Judge(uint8_t code) {
  const FaultRule* chosen = nullptr;
  for (size_t i = 0; i < rules_.size(); ++i) {
    const FaultRule& rule = rules_[i];
    if (rule.command) {
      if (static_cast<uint8_t>(*rule.command) != code) continue;
    } else if (rule.kind == FaultKind::kStatus && !HasStatusByte(static_cast<Command>(code))) {
      continue;
    }
    const uint32_t occurrence = ++matched_[i];
    bool hit = false;
    if (!rule.occurrences.empty()) {
      hit = std::ranges::find(rule.occurrences, occurrence) != rule.occurrences.end();
    } else {
      // The raw 32-bit output of mt19937 is the same everywhere, unlike the distributions.
      const uint64_t draw = rng_();
      hit = static_cast<double>(draw) < rule.rate * 4294967296.0;
      if (rule.max_hits != 0 && hits_[i] >= rule.max_hits) hit = false;
    }
    if (hit && chosen == nullptr) {
      ++hits_[i];
      chosen = &rule;
    }
  }
  return chosen;
}

uint32_t FaultPlan::TotalHits() const {
  uint32_t total = 0;
  for (const uint32_t h : hits_) total += h;
  return total;
}

}  // namespace sim
