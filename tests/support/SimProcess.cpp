#include "support/SimProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

SimProcess::SimProcess() {
  char pattern[] = "/tmp/upsfw-ports-XXXXXX";
  folder_ = mkdtemp(pattern);
  setenv("UPSFW_PORTS", folder_.c_str(), 1);
}

SimProcess::~SimProcess() {
  Stop();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
  unsetenv("UPSFW_PORTS");
}

bool SimProcess::Start(const std::vector<std::string>& args) {
  const std::string program = std::string(UPSFW_BINARY_DIR) + "/sim/upsfw-sim";
  std::vector<std::string> all = {program,        "--quiet",        "--memory",       MemoryPath(),
                                  "--transcript", TranscriptPath(), folder_ + "/com1"};
  all.insert(all.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ == 0) {
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    if (fs::exists(folder_ + "/com1")) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void SimProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::vector<uint8_t> SimProcess::Memory() const {
  std::ifstream in(MemoryPath(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CommandResult RunCommand(const std::string& command_line) {
  char pattern[] = "/tmp/upsfw-cmd-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string out = dir + "/out", err = dir + "/err";
  CommandResult result;
  const int raw = std::system((command_line + " >" + out + " 2>" + err).c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  result.out = slurp(out);
  result.err = slurp(err);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return result;
}

std::string WriteSRecords(const std::string& folder, const std::string& name,
                          const std::vector<uint8_t>& data, uint32_t base, int addr_bytes) {
  const std::string path = folder + "/" + name;
  std::ofstream file(path);
  const auto record = [&](const char* kind, uint32_t address, const uint8_t* bytes, size_t n) {
    std::vector<uint8_t> body = {static_cast<uint8_t>(addr_bytes + n + 1)};
    for (int i = addr_bytes - 1; i >= 0; --i)
      body.push_back(static_cast<uint8_t>(address >> (8 * i)));
    body.insert(body.end(), bytes, bytes + n);
    unsigned sum = 0;
    char hex[4];
    file << kind;
    for (const uint8_t b : body) {
      sum += b;
      std::snprintf(hex, sizeof hex, "%02X", b);
      file << hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
    file << hex << '\n';
  };
  for (size_t offset = 0; offset < data.size(); offset += 16) {
    record(addr_bytes == 2 ? "S1" : "S2", base + static_cast<uint32_t>(offset),
           data.data() + offset, std::min<size_t>(16, data.size() - offset));
  }
  record(addr_bytes == 2 ? "S9" : "S8", 0, nullptr, 0);
  return path;
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}
