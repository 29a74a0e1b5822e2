// upsfw-sim: a UPS bootloader on a pseudo-terminal, for the utility to upgrade.
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/PtyUps.h"

namespace {

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_dump = 0;

void OnStop(int) { g_stop = 1; }
void OnDump(int) { g_dump = 1; }

constexpr const char* kHelp = R"(Usage: upsfw-sim [OPTION]... [LINK]
A simulated UPS bootloader on a pseudo-terminal. It links the pseudo-terminal's slave at LINK
(default: the port folder's com1, so that the utility's COM1 reaches it), answers the
utility's requests until SIGINT or SIGTERM, then removes the link. SIGUSR1 writes the memory
image and the transcript at once.

The port folder is $UPSFW_PORTS, else ${XDG_CONFIG_HOME:-~/.config}/upsfw/ports.

Line and identity:
  --port N                   link the port folder's comN (COMN in the utility)
  --firmware-version TEXT    first text of the version reply (default "UPS FW 1.00")
  --programmer-version TEXT  second text (default "BOOT 2.10")
  --initial-baud BAUD        speed before the negotiation (default 2400)
  --silent-at-2400           same as --initial-baud 9600: the utility must fall back
  --speed-exponent N         negotiated speed 2400*2^N, 0 to 10 (default 4: 38400)
  --idle-revert MS           back to the first speed after MS without a request (default
                             60000; 0 never); also after every checksum comparison

Memory and addressing:
  --address-mode 2|4|6       address inquiry reply bytes (default 4); 6 also makes the
                             negotiation ask for 3-byte addresses (mode byte 0x10)
  --mode-byte 0xNN           the negotiation's mode byte, whatever the address mode
  --range FIRST-LAST         the flash, both ends inclusive (default 0x4000-0xEFFF)
  --exclude FIRST-LAST       a range that must not be programmed and is kept by the erase
  --erase-time MS            time the erase takes before its reply (default 2000)
  --reply-latency US         time before every reply (default 1000)
  --program-time US          programming time per data byte (default 20)
  --file-id XXXXXXXX         accept only this FileID (4 bytes in hex, in their order);
                             another one gets the erase refused with status 0x30
  --initial-fill 0xNN        the flash before the first erase (default 0x00)
  --held-bytes N             first bytes of the range held back until a matching checksum
                             comparison (default 2)
  --no-verify                do not fail programming over unerased bytes (status 0x10)
  --wide-sum programmed|accept
                             own sum in 3-byte address sessions: the 16-bit sum of the
                             programmed bytes (default), or accept any expected sum

Faults:
  --bad-frames nak|silent    answer to a request with a wrong sum (default nak)
  --fault RULE               repeatable; RULE is KIND[:COMMAND][@N[,N...]|%RATE[/MAX]]
        KIND     silence, nak, bad-sum, stray, cut (only the start byte), late (after the
                 utility stopped waiting), status=0xNN, busy (0x80), vpp (0x20),
                 failed (0x10), wrong-file (0x30), unknown-status (0x50)
        COMMAND  version, negotiation, inquiry, excluded, erase, program, wide-program,
                 read-back, checksum, any (default), or a code such as 0x01
        @N,...   hit these matching requests (counted from 1); %RATE: each with this
                 probability, /MAX at most MAX times; neither: every matching request
        e.g. --fault nak:program@3  --fault busy:erase@1  --fault bad-sum:read-back%0.05/4
  --late-margin MS           how much later than the utility's wait a late reply comes
                             (default 300)
  --vanish-after N           the UPS vanishes (pseudo-terminal closed) when bytes come
                             after N whole requests
  --seed N                   seed of the fault rates (default 1)

Output:
  --memory PATH              at exit write the flash: byte i of the file is address FIRST+i
  --transcript PATH          at exit write every frame in and out with its time
  --quiet                    do not print the transcript as it grows
  --help                     this text
)";

bool Range(std::string_view text, sim::AddressRange& range) {
  const size_t dash = text.find('-');
  return dash != std::string_view::npos && sim::ParseNumber(text.substr(0, dash), range.first) &&
         sim::ParseNumber(text.substr(dash + 1), range.last) && range.first <= range.last &&
         range.last <= 0xFFFFFF;
}

std::string DefaultLink(int port) {
  std::string folder;
  if (const char* ports = std::getenv("UPSFW_PORTS"); ports != nullptr && *ports != '\0') {
    folder = ports;
  } else if (const char* config = std::getenv("XDG_CONFIG_HOME");
             config != nullptr && *config != '\0') {
    folder = std::string(config) + "/upsfw/ports";
  } else if (const char* home = std::getenv("HOME"); home != nullptr) {
    folder = std::string(home) + "/.config/upsfw/ports";
  }
  return folder + "/com" + std::to_string(port);
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "upsfw-sim: %s\nTry 'upsfw-sim --help'.\n", why.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  sim::UpsConfig config;
  std::string link;
  int port = 1;
  std::string memory_path;
  std::string transcript_path;
  bool quiet = false;
  std::optional<uint8_t> mode_byte;

  const std::vector<std::string_view> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--silent-at-2400") {
      config.initial_baud = 9600;
      continue;
    }
    if (arg == "--no-verify") {
      config.verify_writes = false;
      continue;
    }
    if (arg == "--quiet") {
      quiet = true;
      continue;
    }
    if (!arg.starts_with("--")) {
      link = arg;
      continue;
    }
    if (i + 1 >= args.size()) return Usage(std::string(arg) + " needs a value");
    const std::string_view value = args[++i];
    const auto bad = [&] { return Usage("bad value for " + std::string(arg)); };
    if (arg == "--port") {
      if (!sim::ParseNumber(value, port) || port < 1) return bad();
    } else if (arg == "--firmware-version") {
      config.firmware_version = value;
    } else if (arg == "--programmer-version") {
      config.programmer_version = value;
    } else if (arg == "--initial-baud") {
      if (!sim::ParseNumber(value, config.initial_baud) || config.initial_baud <= 0) return bad();
    } else if (arg == "--speed-exponent") {
      if (!sim::ParseNumber(value, config.speed_exponent) || config.speed_exponent > 10)
        return bad();
    } else if (arg == "--idle-revert") {
      if (!sim::ParseNumber(value, config.idle_revert_ms)) return bad();
    } else if (arg == "--address-mode") {
      if (!sim::ParseNumber(value, config.inquiry_bytes) ||
          (config.inquiry_bytes != 2 && config.inquiry_bytes != 4 && config.inquiry_bytes != 6)) {
        return bad();
      }
    } else if (arg == "--mode-byte") {
      uint8_t m = 0;
      if (!sim::ParseNumber(value, m)) return bad();
      mode_byte = m;
    } else if (arg == "--range") {
      if (!Range(value, config.range)) return bad();
    } else if (arg == "--exclude") {
      sim::AddressRange excluded;
      if (!Range(value, excluded)) return bad();
      config.excluded = excluded;
    } else if (arg == "--erase-time") {
      if (!sim::ParseNumber(value, config.erase_time_ms)) return bad();
    } else if (arg == "--reply-latency") {
      if (!sim::ParseNumber(value, config.reply_latency_us)) return bad();
    } else if (arg == "--program-time") {
      if (!sim::ParseNumber(value, config.program_us_per_byte)) return bad();
    } else if (arg == "--file-id") {
      uint32_t id = 0;
      if (value.size() != 8 || !sim::ParseNumber("0x" + std::string(value), id)) return bad();
      config.file_id = {static_cast<uint8_t>(id >> 24), static_cast<uint8_t>(id >> 16),
                        static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
    } else if (arg == "--initial-fill") {
      if (!sim::ParseNumber(value, config.initial_fill)) return bad();
    } else if (arg == "--held-bytes") {
      if (!sim::ParseNumber(value, config.held_bytes)) return bad();
    } else if (arg == "--wide-sum") {
      if (value == "programmed") {
        config.wide_sum = sim::WideSum::kProgrammed;
      } else if (value == "accept") {
        config.wide_sum = sim::WideSum::kAcceptAny;
      } else {
        return bad();
      }
    } else if (arg == "--bad-frames") {
      if (value != "nak" && value != "silent") return bad();
      config.nak_bad_sum = value == "nak";
    } else if (arg == "--fault") {
      std::string error;
      const auto rule = sim::ParseFaultRule(value, &error);
      if (!rule) return Usage("--fault " + std::string(value) + ": " + error);
      config.faults.push_back(*rule);
    } else if (arg == "--late-margin") {
      if (!sim::ParseNumber(value, config.late_margin_ms)) return bad();
    } else if (arg == "--vanish-after") {
      if (!sim::ParseNumber(value, config.vanish_after_frames)) return bad();
    } else if (arg == "--seed") {
      if (!sim::ParseNumber(value, config.seed)) return bad();
    } else if (arg == "--memory") {
      memory_path = value;
    } else if (arg == "--transcript") {
      transcript_path = value;
    } else {
      return Usage("unknown option " + std::string(arg));
    }
  }
  config.mode_byte = mode_byte.value_or(config.inquiry_bytes == 6 ? 0x10 : 0x00);
  if (link.empty()) link = DefaultLink(port);

  sim::PtyUps ups(config);
  std::string error;
  if (!ups.Open(link, &error)) {
    std::fprintf(stderr, "upsfw-sim: %s\n", error.c_str());
    return 1;
  }
  struct sigaction stop {};
  stop.sa_handler = OnStop;
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  struct sigaction dump {};
  dump.sa_handler = OnDump;
  sigaction(SIGUSR1, &dump, nullptr);

  std::printf("upsfw-sim: %s -> %s, range 0x%06X-0x%06X, listening at %d baud\n", link.c_str(),
              ups.SlavePath().c_str(), config.range.first, config.range.last, config.initial_baud);
  std::fflush(stdout);

  const auto write_outputs = [&] {
    if (!memory_path.empty() && !ups.Model().WriteMemoryImage(memory_path)) {
      std::fprintf(stderr, "upsfw-sim: cannot write %s\n", memory_path.c_str());
    }
    if (!transcript_path.empty() && !ups.Model().Log().WriteTo(transcript_path)) {
      std::fprintf(stderr, "upsfw-sim: cannot write %s\n", transcript_path.c_str());
    }
  };
  size_t printed = 0;
  const auto print_new = [&] {
    if (quiet) return;
    const auto& entries = ups.Model().Log().Entries();
    if (printed == entries.size()) return;
    sim::Transcript fresh;
    for (; printed < entries.size(); ++printed) {
      const auto& e = entries[printed];
      fresh.Add(e.time_us, e.kind, e.bytes, e.note);
    }
    std::fputs(fresh.Text().c_str(), stdout);
    std::fflush(stdout);
  };
  ups.Serve([&] {
    print_new();
    if (g_dump != 0) {
      g_dump = 0;
      write_outputs();
    }
    return g_stop == 0;
  });
  print_new();
  if (ups.Model().Vanished()) std::printf("upsfw-sim: the UPS has vanished\n");
  ups.Close();
  write_outputs();
  return 0;
}
