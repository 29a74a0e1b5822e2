// Faults of the simulated UPS: which request is hit, and how.
//
// A rule names a kind of fault, optionally the command it hits, and either the occurrences
// it hits (the 3rd program request, the 1st and 2nd erase requests ...) or a rate (a
// probability per matching request, drawn from a seeded std::mt19937, so that the same seed
// gives the same run). Only requests that arrive whole with a good sum are judged.
//
// Text form (the program's --fault option): KIND[:COMMAND][@N[,N...] | %RATE[/MAX]]
//   KIND     silence | nak | bad-sum | stray | cut | late
//            | status=0xNN | busy | vpp | failed | wrong-file | unknown-status
//   COMMAND  version | negotiation | inquiry | excluded | erase | program | wide-program
//            | read-back | checksum | any (the default) | a code such as 0x01
//   @N,...   the matching requests hit, counted from 1
//   %RATE    the probability of each matching request, 0 to 1; /MAX stops after MAX hits
// Without @ or % every matching request is hit.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "serial/Protocol.h"

namespace sim {

enum class FaultKind : uint8_t {
  kSilence,    // no answer at all; the request is not carried out
  kNak,        // a NAK instead of the reply; not carried out
  kStatus,     // the reply carries the rule's status byte; not carried out
  kBadSum,     // the reply's sum byte is wrong; carried out
  kStrayByte,  // a stray byte goes out before the reply; carried out
  kCutReply,   // only the reply's start byte goes out; carried out
  kLateReply,  // the reply goes out after the utility has stopped waiting; carried out
};

// The stray byte that kStrayByte puts before a reply.
inline constexpr uint8_t kStrayValue = 0x7F;

struct FaultRule {
  FaultKind kind = FaultKind::kSilence;
  uint8_t status = 0;                        // kStatus only
  std::optional<protocol::Command> command;  // nothing: every command
  std::vector<uint32_t> occurrences;         // counted from 1; empty: by `rate`
  double rate = 1.0;
  uint32_t max_hits = 0;  // 0: no limit
};

// Whether the command's reply carries a status byte (erase, program, wide program, checksum
// comparison); status faults hit only these.
bool HasStatusByte(protocol::Command command);

// Parses a decimal number, or a hexadecimal one after "0x", that fills the whole text and
// fits T.
template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc{} && end == text.data() + text.size();
}

// Parses the text form above; on failure returns nothing and says why in `error`.
std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string* error);
// Parses a command name (or code) of the text form.
std::optional<protocol::Command> ParseCommandName(std::string_view name);
// A short name of a command ("program", "erase" ...), "0xNN" for an unknown code.
std::string CommandName(uint8_t code);
// The rule in its text form, for the transcript.
std::string Describe(const FaultRule& rule);

class FaultPlan {
 public:
  FaultPlan(std::vector<FaultRule> rules, uint32_t seed);

  // Judges one request with command code `code`: the rule that hits it, or nullptr. Every
  // rule counts the requests it matches, and every rate rule draws for each of them, so
  // that one rule's hits do not move another's.
  const FaultRule* Judge(uint8_t code);

  const std::vector<FaultRule>& Rules() const { return rules_; }
  // How often rule `index` has hit.
  uint32_t Hits(size_t index) const { return hits_[index]; }
  uint32_t TotalHits() const;

 private:
  std::vector<FaultRule> rules_;
  std::vector<uint32_t> matched_;
  std::vector<uint32_t> hits_;
  std::mt19937 rng_;
};

}  // namespace sim
