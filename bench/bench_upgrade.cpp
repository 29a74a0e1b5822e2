// Upgrade time against its floor: a generated firmware upgraded through the window (offscreen,
// real clock, Timer1 ticking through the Qt event loop) against upsfw-sim pacing its line over
// a real pseudo-terminal, in both address modes, with and without reading comparison.
//
// The floor is what the protocol itself spends, counted from the simulated UPS's transcript:
//   - wire time of every byte in both directions (10 bits a byte at the speed in use),
//   - the UPS's own times (reply latency, erase time, programming time per data byte),
//   - one flush of ~50 ms before every request (and the one when a run starts),
//   - the waits for replies that cannot come (the first tick of the inquiry, programming,
//     read-back and checksum steps reads before anything was asked: 500, 2000, 2000, 1000 ms),
//   - the 10 ms tick interval of the one tick whose work is shorter (the inquiry's reply).
// The measured time runs from the click on "&Upgrade" until the tick that ends the run.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell/Main.h"
#include "shell/checking.h"
#include "upgrade/SequencerVars.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int32_t kLineBaud = 38400;  // 2400 * 2^4, the simulated UPS's default
constexpr int32_t kBaseBaud = 2400;
constexpr double kFlush_ms = 50.0;   // one platform read of 5 bytes on a quiet line
constexpr double kTick_ms = 10.0;    // Timer1's interval
constexpr double kLatency_ms = 1.0;  // the simulated UPS's reply latency (its default)
constexpr double kErase_ms = 2000.0;
constexpr double kProgramPerByte_ms = 0.020;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Wire time of `count` bytes, as the simulated UPS counts it (each byte rounded up to 1 us).
double WireMs(uint64_t count, int32_t baud) {
  const uint64_t per_byte_us = (10'000'000ull + static_cast<uint64_t>(baud) - 1) / baud;
  return static_cast<double>(count * per_byte_us) / 1000.0;
}

// --- Firmware files.

std::string Hex2(unsigned v) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[(v >> 4) & 15], digits[v & 15]};
}

std::string SRecord(char kind, uint32_t address, int address_bytes, const uint8_t* data, size_t n) {
  std::vector<uint8_t> body;
  body.push_back(static_cast<uint8_t>(address_bytes + n + 1));
  for (int i = address_bytes - 1; i >= 0; --i)
    body.push_back(static_cast<uint8_t>(address >> (8 * i)));
  body.insert(body.end(), data, data + n);
  unsigned sum = 0;
  std::string line = std::string("S") + kind;
  for (uint8_t b : body) {
    sum += b;
    line += Hex2(b);
  }
  return line + Hex2(~sum & 0xFF) + "\n";
}

// `bytes` of random data from `base` in 16-byte records (S1 or S2), with the identification
// where the reader looks for it: FileID at the start, model text 16 bytes on, version after.
void WriteFirmware(const std::string& path, uint32_t base, int address_bytes, size_t bytes) {
  std::vector<uint8_t> image(bytes);
  uint32_t x = 12345;
  for (uint8_t& b : image) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  const uint8_t id[4] = {0x55, 0x50, 0x53, 0x01};
  std::memcpy(image.data(), id, 4);
  std::memset(image.data() + 4, 0, 12);
  std::memcpy(image.data() + 16, "UPS-BENCH 1000VA", 16);
  std::memcpy(image.data() + 32, "FW 9.99 BENCH   ", 16);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint8_t header[] = {'b', 'e', 'n', 'c', 'h'};
  out << SRecord('0', 0, 2, header, sizeof header);
  for (size_t at = 0; at < bytes; at += 16) {
    out << SRecord(address_bytes == 2 ? '1' : '2', base + static_cast<uint32_t>(at), address_bytes,
                   image.data() + at, std::min<size_t>(16, bytes - at));
  }
  out << SRecord(address_bytes == 2 ? '9' : '8', 0, address_bytes, nullptr, 0);
}

// --- The simulated UPS as a child process.

pid_t SpawnSim(const std::string& sim, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(sim.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, sim.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

void StopSim(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

// --- The transcript: bytes and frames by direction and command.

struct LineCounts {
  uint64_t in_bytes = 0, out_bytes = 0;  // at the run's speed
  uint64_t neg_bytes = 0;                // the negotiation, both ways, at 2400
  uint64_t other_bytes = 0;              // noise, garbage, ignored
  uint64_t requests = 0, replies = 0, naks = 0;
  uint64_t program_data = 0;  // data bytes of program requests
  std::map<int, uint64_t> requests_by_command;
};

LineCounts ReadTranscript(const std::string& path) {
  LineCounts c;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string time, arrow;
    words >> time >> arrow;
    std::vector<int> bytes;
    bool truncated = false;
    for (std::string w; words >> w;) {
      if (w == "..") {
        truncated = true;
        continue;
      }
      if (w.size() != 2 || !std::isxdigit(static_cast<unsigned char>(w[0])) ||
          !std::isxdigit(static_cast<unsigned char>(w[1]))) {
        break;
      }
      bytes.push_back(std::stoi(w, nullptr, 16));
    }
    (void)truncated;
    if (bytes.empty()) continue;
    const bool frame = bytes.size() >= 3 && bytes[0] == 0x01;
    const uint64_t size = frame ? static_cast<uint64_t>(bytes[2]) + 4 : bytes.size();
    const bool negotiation = frame && bytes[1] == 0x0A;
    if (arrow == "<-") {
      ++c.requests;
      if (frame) ++c.requests_by_command[bytes[1]];
      if (negotiation) {
        c.neg_bytes += size;
      } else {
        c.in_bytes += size;
      }
      if (frame && bytes[1] == 0x01) c.program_data += static_cast<uint64_t>(bytes[2]) - 3;
      if (frame && bytes[1] == 0x09) c.program_data += static_cast<uint64_t>(bytes[2]) - 4;
    } else if (arrow == "->") {
      if (size == 1 && bytes[0] == 0x15) ++c.naks;
      ++c.replies;
      if (negotiation) {
        c.neg_bytes += size;
      } else {
        c.out_bytes += size;
      }
    } else if (arrow == "~~" || arrow == "??" || arrow == "xx") {
      c.other_bytes += size;
    }
  }
  return c;
}

// --- One upgrade through the window.

struct Tick {
  double start_ms, end_ms;
  int32_t step;
};

struct RunResult {
  bool ok = false;
  std::string status;
  double total_ms = 0, negotiation_ms = 0;
  std::vector<Tick> ticks;
};

RunResult Upgrade(const std::string& file, bool read_comparison) {
  RunResult result;
  SetMessageBoxHandler([](const TMessageBoxRequest& box) {
    std::fprintf(stderr, "  box: %s: %s\n", box.caption.c_str(), box.text.c_str());
  });
  SetOpenDialogHandler([file](const TOpenDialog&) -> std::optional<std::string> { return file; });
  ResetSequencerVars();
  auto form = std::make_unique<TTarvikUPSForm>();
  TarvikUPSForm = form.get();
  auto checking = std::make_unique<TFormChecking>();
  FormChecking = checking.get();
  form->Show();  // Timer1 ticks from here on, as in the window

  form->BUT_LOAD->Click();
  if (form->CB_COMPort->ItemIndex() != 0) form->CB_COMPort->Choose(0);
  form->BUT_OPEN->Click();
  if (form->FileLoaded && form->ComOpened) {
    form->CB_READ->SetChecked(read_comparison);
    form->CB_Default->SetItemIndex(1);  // 0xFF
    QEventLoop loop;
    const auto origin = Clock::now();
    form->Timer1->OnTimer = [&](TObject* sender) {
      const double start = Ms(Clock::now() - origin);
      const int32_t step = form->BurnStep;
      form->Timer1Timer(sender);
      result.ticks.push_back({start, Ms(Clock::now() - origin), step});
      if (!form->Burning && !TickStarted) loop.quit();
    };
    form->BUT_BURN->Click();
    result.negotiation_ms = Ms(Clock::now() - origin);
    if (form->Burning) {
      loop.exec();
      result.total_ms = Ms(Clock::now() - origin);
      result.status = form->ED_MSG->Text();
      result.ok = form->ED_MSG->FontColor() != clRed;
    } else {
      result.status = "negotiation failed: " + form->ED_MSG->Text();
    }
  } else {
    result.status = form->FileLoaded ? "port did not open" : "file did not load";
  }
  TCloseAction action = TCloseAction::caHide;
  form->FormClose(form.get(), action);
  FormChecking = nullptr;
  TarvikUPSForm = nullptr;
  return result;
}

struct Case {
  const char* name;
  bool wide;
  bool read_comparison;
};

// Runs each case in a child process (this program with --case NAME --rows-only) at the same
// time, and prints their rows in the order of the cases. True when every case met its target.
bool RunCasesInParallel(const char* self, size_t kib, const std::string& sim, bool ticks_csv) {
  static const char* const names[] = {"narrow", "narrow-rc", "wide", "wide-rc"};
  struct Child {
    pid_t pid = -1;
    int fd = -1;
    std::string text;
  };
  std::vector<Child> children;
  for (const char* name : names) {
    std::vector<std::string> args = {self,    "--rows-only",       "--case", name,
                                     "--kib", std::to_string(kib), "--sim",  sim};
    if (ticks_csv) args.emplace_back("--ticks");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Child child;
    if (posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ) != 0) {
      child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    child.fd = out[0];
    children.push_back(std::move(child));
  }
  bool met = true;
  for (Child& child : children) {
    char buffer[512];
    for (ssize_t n; (n = read(child.fd, buffer, sizeof buffer)) > 0;) {
      child.text.append(buffer, static_cast<size_t>(n));
    }
    close(child.fd);
    int status = 0;
    if (child.pid > 0) waitpid(child.pid, &status, 0);
    const size_t verdict = child.text.rfind("MET\n");
    met = met && child.pid > 0 && verdict != std::string::npos &&
          (verdict == 0 || child.text[verdict - 1] == '\n');
    if (verdict != std::string::npos) child.text.erase(verdict);
    child.text.erase(child.text.find_last_not_of('\n') + 1);
    child.text.erase(0, child.text.find_first_not_of('\n'));
    const std::string missed = "MISSED";
    const size_t m = child.text.rfind(missed);
    if (m != std::string::npos) child.text.erase(m);
    std::printf("%s\n", child.text.c_str());
    std::fflush(stdout);
  }
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim = UPSFW_SIM_PATH;
  size_t kib = 48;  // below 60 KiB: both modes keep the data inside one 64 KiB area
  std::vector<std::string> only;
  bool ticks_csv = false;
  bool serial = false;
  bool rows_only = false;  // a child of the parallel run: its rows, no header
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--kib" && i + 1 < argc) {
      kib = std::stoul(argv[++i]);
    } else if (arg == "--sim" && i + 1 < argc) {
      sim = argv[++i];
    } else if (arg == "--case" && i + 1 < argc) {
      only.emplace_back(argv[++i]);
    } else if (arg == "--ticks") {
      ticks_csv = true;
    } else if (arg == "--serial") {
      serial = true;
    } else if (arg == "--rows-only") {
      rows_only = true;
    } else {
      std::fprintf(stderr,
                   "usage: upsfw_bench_upgrade [--kib N] [--case narrow|narrow-rc|wide|wide-rc]... "
                   "[--sim PATH] [--ticks] [--serial]\n");
      return 2;
    }
  }
  if (kib == 0 || kib >= 60) {
    std::fprintf(stderr, "upsfw_bench_upgrade: --kib takes 1 to 59\n");
    return 2;
  }
  const fs::path folder =
      fs::temp_directory_path() / ("upsfw_bench_upgrade_" + std::to_string(getpid()));
  fs::create_directories(folder / "ports");
  setenv("UPSFW_PORTS", (folder / "ports").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qt_argc = 1;
  QApplication app(qt_argc, argv);

  const size_t bytes = kib * 1024;
  const std::string narrow_file = (folder / "fw.s19").string();
  const std::string wide_file = (folder / "fw-wide.s19").string();
  const uint32_t narrow_base = 0xF000 - static_cast<uint32_t>(bytes);
  WriteFirmware(narrow_file, narrow_base, 2, bytes);
  WriteFirmware(wide_file, 0x10000, 3, bytes);
  char narrow_range[32], wide_range[32], wide_exclude[32];
  std::snprintf(narrow_range, sizeof narrow_range, "0x%X-0xEFFF", narrow_base);
  std::snprintf(wide_range, sizeof wide_range, "0x10000-0x1FFFF");
  std::snprintf(wide_exclude, sizeof wide_exclude, "0x%X-0x1FFFF",
                0x10000u + static_cast<uint32_t>(bytes));

  const Case cases[] = {{"narrow", false, false},
                        {"narrow-rc", false, true},
                        {"wide", true, false},
                        {"wide-rc", true, true}};
  if (!rows_only) {
    std::printf(
        "%zu KiB firmware in 16-byte records at %d baud; narrow: S1, range %s; wide: S2, "
        "mode 0x10, 6-byte inquiry, range %s excluding %s, any sum accepted\n",
        kib, kLineBaud, narrow_range, wide_range, wide_exclude);
    std::printf("%-10s %9s %9s %7s %7s %6s %8s %8s %8s %8s %8s %7s\n", "case", "total s", "floor s",
                "ratio", "line", "reqs", "wire s", "flush s", "ups s", "waits s", "gaps s", "late");
    std::fflush(stdout);
  }
  if (!serial && !rows_only && only.empty()) {
    // The four cases side by side, each in its own process with its own simulated UPS: they
    // mostly wait on their lines, and the whole run takes as long as the longest case.
    const bool met = RunCasesInParallel(argv[0], kib, sim, ticks_csv);
    std::printf(
        "columns: line = wire time / total (share of the line's capacity used); gaps = "
        "time between ticks; late = ticks later than Timer1's interval asks\n");
    std::printf("upgrade %s within 1.05x its floor in every case\n", met ? "is" : "is NOT");
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
  }
  bool all_met = true;
  for (const Case& c : cases) {
    if (!only.empty() && std::find(only.begin(), only.end(), c.name) == only.end()) continue;
    const std::string transcript = (folder / (std::string(c.name) + ".txt")).string();
    std::vector<std::string> args = {"--quiet", "--port", "1", "--transcript", transcript};
    if (c.wide) {
      args.insert(args.end(), {"--address-mode", "6", "--range", wide_range, "--exclude",
                               wide_exclude, "--wide-sum", "accept"});
    } else {
      args.insert(args.end(), {"--range", narrow_range});
    }
    const fs::path link = folder / "ports" / "com1";
    std::error_code ec;
    fs::remove(link, ec);
    const pid_t pid = SpawnSim(sim, args);
    if (pid < 0) {
      std::fprintf(stderr, "cannot start %s\n", sim.c_str());
      return 1;
    }
    for (int i = 0; i < 500 && !fs::is_symlink(link, ec); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const RunResult run = Upgrade(c.wide ? wide_file : narrow_file, c.read_comparison);
    StopSim(pid);
    if (!run.ok) {
      std::printf("%-10s FAILED: %s\n", c.name, run.status.c_str());
      all_met = false;
      continue;
    }
    const LineCounts n = ReadTranscript(transcript);
    const double wire =
        WireMs(n.in_bytes + n.out_bytes, kLineBaud) + WireMs(n.neg_bytes, kBaseBaud);
    const double ups = static_cast<double>(n.replies) * kLatency_ms + kErase_ms +
                       static_cast<double>(n.program_data) * kProgramPerByte_ms;
    const double flush = static_cast<double>(n.requests + 1) * kFlush_ms;
    const double waits = 500.0 + 2000.0 + (c.read_comparison ? 2000.0 : 0.0) + 1000.0;
    const double floor = wire + ups + flush + waits + kTick_ms;
    // The time between ticks, and how much of it is beyond what Timer1's interval asks for:
    // the cost of driving the tick through the event loop (painting between ticks included).
    double gaps = 0, late = 0;
    for (size_t i = 1; i < run.ticks.size(); ++i) {
      const double due = std::max(run.ticks[i - 1].start_ms + kTick_ms, run.ticks[i - 1].end_ms);
      gaps += run.ticks[i].start_ms - run.ticks[i - 1].end_ms;
      late += std::max(0.0, run.ticks[i].start_ms - due);
    }
    const double ratio = run.total_ms / floor;
    all_met = all_met && ratio <= 1.05;
    std::printf("%-10s %9.2f %9.2f %6.3fx %6.1f%% %6llu %8.2f %8.2f %8.2f %8.2f %8.3f %6.3fs\n",
                c.name, run.total_ms / 1e3, floor / 1e3, ratio, 100.0 * wire / run.total_ms,
                static_cast<unsigned long long>(n.requests), wire / 1e3, flush / 1e3, ups / 1e3,
                waits / 1e3, gaps / 1e3, late / 1e3);
    if (n.naks != 0 || n.other_bytes != 0) {
      std::printf("           (%llu NAKs, %llu bytes of noise or garbage on the line)\n",
                  static_cast<unsigned long long>(n.naks),
                  static_cast<unsigned long long>(n.other_bytes));
    }
    if (ticks_csv) {
      const std::string csv =
          (fs::current_path() / (std::string("ticks-") + c.name + ".csv")).string();
      std::ofstream out(csv);
      out << "start_ms,end_ms,step\n";
      for (const Tick& t : run.ticks) out << t.start_ms << ',' << t.end_ms << ',' << t.step << '\n';
      std::printf("           ticks written to %s\n", csv.c_str());
    }
  }
  if (rows_only) {
    std::printf("%s\n", all_met ? "MET" : "MISSED");
  } else {
    std::printf(
        "columns: line = wire time / total (share of the line's capacity used); gaps = "
        "time between ticks; late = ticks later than Timer1's interval asks\n");
    std::printf("upgrade %s within 1.05x its floor in every case\n", all_met ? "is" : "is NOT");
  }
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
