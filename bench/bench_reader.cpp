// The firmware file reader's speed against srec_cat reading the same file to binary.
//
// For each size and format, srec_cat writes a file of random data (32 data bytes a record);
// the figure is the best of several runs of the reader (file to listing) and of
// `srec_cat FILE -o /dev/null -binary`, and their ratio. Times are CPU times (user and
// system), so that other work on the machine does not distort them.
//
// Intel HEX files above 64 KiB need extended address records, which the listing cannot hold:
// srec_cat reads its own file, the reader the same file without those records (the same
// data records, line for line).
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "firmware/FileReader.h"

namespace {

constexpr int kRuns = 5;

// CPU time of this process.
double OwnSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU time of the finished child processes.
double ChildSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The file without extended address records (":02000004..." and ":02000002...").
void WithoutExtendedAddresses(const std::string& from, const std::string& to) {
  std::istringstream in(ReadAll(from));
  std::ofstream out(to, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(":02000004", 0) == 0 || line.rfind(":02000002", 0) == 0) continue;
    out << line << '\n';
  }
}

struct Timing {
  double seconds = 1e30;
  int lines = 0;
  bool loaded = false;
};

Timing TimeReader(const std::string& path, FirmwareFormat format) {
  Timing best;
  for (int run = 0; run < kRuns; ++run) {
    TLineStore listing;
    FirmwareIdentity identity{};
    const double start = OwnSeconds();
    const FirmwareReadResult result = ReadFirmwareFile(path, format, listing, identity);
    const double seconds = OwnSeconds() - start;
    best.seconds = std::min(best.seconds, seconds);
    best.lines = listing.Count();
    best.loaded = result.outcome == ReadOutcome::kLoaded;
  }
  return best;
}

double TimeSrecCat(const std::string& path, const std::string& input_format) {
  double best = 1e30;
  const std::string command =
      "srec_cat '" + path + "' " + input_format + " -o /dev/null -binary 2>/dev/null";
  for (int run = 0; run < kRuns; ++run) {
    const double start = ChildSeconds();
    if (!Run(command)) return -1;
    best = std::min(best, ChildSeconds() - start);
  }
  return best;
}

}  // namespace

int main() {
  if (!Run("srec_cat -VERSion >/dev/null 2>&1")) {
    std::fprintf(stderr, "upsfw_bench_reader: srec_cat is not installed (Debian: srecord)\n");
    return 1;
  }
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("upsfw_bench_reader_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);

  std::printf("%-10s %8s %8s %9s %12s %12s %8s\n", "format", "data", "lines", "file", "reader ms",
              "srec_cat ms", "ratio");
  bool all_fast = true;
  for (const unsigned kib : {64u, 1024u, 16384u}) {
    const std::string range = "-generate 0 " + std::to_string(kib * 1024u) + " -random";
    for (const bool intel : {false, true}) {
      const std::string file = (folder / (intel ? "fw.hex" : "fw.s19")).string();
      const std::string output =
          intel ? " -intel" : (kib > 64 ? " -address-length=3" : " -address-length=2");
      if (!Run("srec_cat " + range + " -o '" + file + "'" + output + " -obs=32")) return 1;
      std::string reader_file = file;
      if (intel && kib > 64) {
        reader_file = (folder / "fw-64k.hex").string();
        WithoutExtendedAddresses(file, reader_file);
      }
      const Timing reader =
          TimeReader(reader_file, intel ? FirmwareFormat::kIntelHex : FirmwareFormat::kSRecord);
      const double srec_cat = TimeSrecCat(file, intel ? "-intel" : "");
      const double ratio = srec_cat / reader.seconds;
      all_fast = all_fast && reader.loaded && ratio >= 2.0;
      std::printf("%-10s %5u KiB %8d %6.1f MB %12.2f %12.2f %7.1fx%s\n",
                  intel ? "Intel HEX" : "S-record", kib, reader.lines,
                  static_cast<double>(std::filesystem::file_size(file)) / 1e6, reader.seconds * 1e3,
                  srec_cat * 1e3, ratio, reader.loaded ? "" : "  (reader refused the file)");
    }
  }
  std::filesystem::remove_all(folder);
  std::printf("reader %s at least 2x as fast as srec_cat on every file\n",
              all_fast ? "is" : "is NOT");
  return 0;
}
