#include "soak/Soak.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace {

struct Record {
  uint32_t address;
  std::vector<uint8_t> data;
};

// One S-record line: type, count, address (`width` bytes, high first), data, sum.
std::string SRecordLine(char type, int width, uint32_t address, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> body;
  body.push_back(static_cast<uint8_t>(width + data.size() + 1));
  for (int i = width - 1; i >= 0; --i) body.push_back(static_cast<uint8_t>(address >> (8 * i)));
  body.insert(body.end(), data.begin(), data.end());
  uint8_t sum = 0;
  std::string line = {'S', type};
  char hex[3];
  for (const uint8_t byte : body) {
    sum = static_cast<uint8_t>(sum + byte);
    std::snprintf(hex, sizeof hex, "%02X", byte);
    line += hex;
  }
  std::snprintf(hex, sizeof hex, "%02X", static_cast<uint8_t>(~sum));
  return line + hex;
}

void WriteSRecords(const std::string& path, int width, const std::vector<Record>& records) {
  std::ofstream out(path, std::ios::binary);
  out << "S00600004844521B\n";
  const char data_type = width == 2 ? '1' : '2';
  const char end_type = width == 2 ? '9' : '8';
  for (const Record& record : records) {
    out << SRecordLine(data_type, width, record.address, record.data) << '\n';
  }
  out << SRecordLine(end_type, width, 0, {}) << '\n';
}

// The identification block and then `count` bytes of code in 16-byte records from
// `code_at`, with one record left out (a gap) and a short last record.
std::vector<Record> Firmware(uint32_t id_at, uint32_t code_at, int records, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> id(48, 0x00);
  const char* model = "SOAK-UPS 1000VA ";
  const char* version = "FW 9.99 SOAK    ";
  id[0] = 0x55, id[1] = 0x50, id[2] = 0x53, id[3] = 0x01;
  for (int i = 0; i < 16; ++i) {
    id[16 + i] = static_cast<uint8_t>(model[i]);
    id[32 + i] = static_cast<uint8_t>(version[i]);
  }
  std::vector<Record> out;
  for (uint32_t k = 0; k < 3; ++k) {
    out.push_back(
        {id_at + 16 * k, std::vector<uint8_t>(id.begin() + 16 * k, id.begin() + 16 * (k + 1))});
  }
  for (int r = 0; r < records; ++r) {
    if (r == records / 3) continue;  // a gap
    std::vector<uint8_t> data(r == records - 1 ? 7 : 16);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(rng());
    out.push_back({code_at + 16 * static_cast<uint32_t>(r), std::move(data)});
  }
  return out;
}

sim::UpsConfig NarrowUps(SoakFirmware firmware) {
  sim::UpsConfig config;
  if (firmware == SoakFirmware::kGenerated) config.range = {0x4000, 0x47FF};
  config.erase_time_ms = 500;
  return config;
}

sim::UpsConfig WideUps() {
  sim::UpsConfig config;
  config.mode_byte = 0x10;
  config.inquiry_bytes = 6;
  config.range = {0x000000, 0x01FFFF};
  config.excluded = sim::AddressRange{0x000000, 0x003FFF};
  config.wide_sum = sim::WideSum::kAcceptAny;
  config.erase_time_ms = 500;
  return config;
}

// The failure statuses the soak draws from.
constexpr const char* kStatusFaults[] = {"failed", "busy", "vpp", "unknown-status", "wrong-file"};
// The fault rate of each kind per matching request, by run.
constexpr double kRates[] = {0.0, 0.01, 0.04, 0.12};

}  // namespace

const char* SoakFaultName(SoakFault kind) {
  switch (kind) {
    case SoakFault::kSilence:
      return "silence";
    case SoakFault::kNak:
      return "NAK";
    case SoakFault::kWrongSum:
      return "wrong sum";
    case SoakFault::kStrayByte:
      return "stray byte";
    case SoakFault::kCutReply:
      return "cut reply";
    case SoakFault::kLateReply:
      return "late reply";
    case SoakFault::kFailureStatus:
      return "failure status";
  }
  return "?";
}

uint64_t SoakTally::FaultsInjected() const {
  uint64_t total = 0;
  for (const uint64_t n : faults) total += n;
  return total;
}

std::string SoakTally::Report() const {
  std::ostringstream out;
  out << "runs " << runs << ", blue " << blue << ", red " << red << ", silent corruptions "
      << silent_corruptions << ", blue without the UPS's verdict and its start held back "
      << unconfirmed_blue << ", hangs " << unended << ", refused without red " << not_started_blue
      << "\nfaults injected " << FaultsInjected() << ":";
  for (size_t k = 0; k < kSoakFaultKinds; ++k) {
    out << (k == 0 ? " " : ", ") << SoakFaultName(static_cast<SoakFault>(k)) << " " << faults[k];
  }
  out << "\nendings:\n";
  for (const auto& [ending, count] : endings) out << "  " << count << "  " << ending << '\n';
  if (!first_problem.empty()) out << "first problem: " << first_problem << '\n';
  return out.str();
}

void SoakFixture::SetUp() {
  SimRunFixture::SetUp();
  char pattern[] = "/tmp/upsfw-soak-XXXXXX";
  const char* dir = mkdtemp(pattern);
  ASSERT_NE(dir, nullptr);
  temp_dir_ = dir;
  narrow_file_ = temp_dir_ + "/soak-narrow.s19";
  wide_file_ = temp_dir_ + "/soak-wide.s19";
  WriteSRecords(narrow_file_, 2, Firmware(0x4000, 0x4100, 96, 7));
  WriteSRecords(wide_file_, 3, Firmware(0x008000, 0x010000, 96, 8));
}

void SoakFixture::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(temp_dir_, ignored);
  SimRunFixture::TearDown();
}

bool SoakFixture::OnlyHeldBytesDiffer(const sim::UpsConfig& config) const {
  const auto expected = ListingBytes();
  const std::vector<uint8_t>& flash = ups->Model().Flash();
  for (uint32_t address = config.range.first; address <= config.range.last; ++address) {
    if (config.excluded && config.excluded->Contains(address)) continue;
    const auto listed = expected.find(address);
    const uint8_t want = listed != expected.end() ? listed->second : 0xFF;
    const uint32_t offset = address - config.range.first;
    if (flash[offset] == want) continue;
    if (offset >= config.held_bytes || flash[offset] != 0xFF) return false;
  }
  return true;
}

SoakTally SoakFixture::RunSoak(int runs, uint32_t seed, SoakFirmware firmware) {
  SoakTally tally;
  for (int i = 0; i < runs; ++i) {
    const bool wide = i % 2 == 1;
    const bool read_comparison = (i / 2) % 2 == 0;
    const double rate = kRates[(i / 4) % std::size(kRates)];
    const uint32_t run_seed = seed * 100'003u + static_cast<uint32_t>(i);

    sim::UpsConfig config = wide ? WideUps() : NarrowUps(firmware);
    config.seed = run_seed;
    constexpr sim::FaultKind kLineKinds[] = {sim::FaultKind::kSilence,  sim::FaultKind::kNak,
                                             sim::FaultKind::kBadSum,   sim::FaultKind::kStrayByte,
                                             sim::FaultKind::kCutReply, sim::FaultKind::kLateReply};
    for (const sim::FaultKind kind : kLineKinds) {
      sim::FaultRule rule;
      rule.kind = kind;
      rule.rate = rate;
      config.faults.push_back(rule);
    }
    std::string error;
    const char* status = kStatusFaults[run_seed % std::size(kStatusFaults)];
    std::optional<sim::FaultRule> status_rule = sim::ParseFaultRule(status, &error);
    if (!status_rule) {
      ADD_FAILURE() << status << ": " << error;
      return tally;
    }
    // Failure statuses end a run at once: rarer, so that faulty runs still reach the end.
    status_rule->rate = rate / 4;
    config.faults.push_back(*status_rule);

    std::string file;
    if (firmware == SoakFirmware::kExamples) {
      file = ExampleFile(wide ? "ups-wide.s19" : "ups-demo.s19");
    } else {
      file = wide ? wide_file_ : narrow_file_;
    }

    // Each run starts from a closed port, as a technician's next upgrade would: "&Close"
    // when it is open, or when a failed reopening left the button saying "&Close".
    if (form->ComOpened || !form->OpenOnClick) form->BUT_OPEN->Click();
    status_history.clear();
    boxes.clear();
    const RunResult run = Upgrade(file, config, read_comparison);

    ++tally.runs;
    for (size_t k = 0; k < kSoakFaultKinds; ++k) tally.faults[k] += ups->Model().Faults().Hits(k);
    const bool red = run.colour == clRed;
    std::ostringstream where;
    where << "run " << i << " (seed " << run_seed << ", " << (wide ? "wide" : "narrow")
          << (read_comparison ? ", reading comparison" : "") << ", rate " << rate << "): ";
    if (!run.started) {
      // "&Upgrade" did not get a run going (the negotiation failed).
      ++tally.endings[std::string(red ? "red" : "blue") + " (not started): " + run.status];
      if (red) {
        ++tally.red;
      } else {
        ++tally.not_started_blue;
        if (tally.first_problem.empty()) tally.first_problem = where.str() + "refused in blue";
      }
      continue;
    }
    if (!run.ended) {
      ++tally.unended;
      if (tally.first_problem.empty()) tally.first_problem = where.str() + "still running";
      continue;
    }
    ++tally.endings[std::string(red ? "red: " : "blue: ") + run.status];
    if (red) {
      ++tally.red;
      continue;
    }
    ++tally.blue;
    if (run.memory_matches) continue;
    // A 2-byte run shows "UPS: Upgrade OK!" as soon as its checksum comparison request is
    // written, without the UPS's verdict. A UPS that did not confirm the image keeps its
    // first bytes (its start) back: that ending is unconfirmed, not silent, as long as the
    // rest of the memory holds the file.
    if (!wide && run.status == "UPS: Upgrade OK!" && OnlyHeldBytesDiffer(config)) {
      ++tally.unconfirmed_blue;
      continue;
    }
    ++tally.silent_corruptions;
    if (tally.first_problem.empty()) {
      tally.first_problem = where.str() + run.status + ", " + run.first_difference;
    }
  }
  return tally;
}
