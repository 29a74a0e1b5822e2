// The upsfw-sim program behind a port folder of its own, for tests over a real
// pseudo-terminal, and small firmware files written for such tests.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class SimProcess {
 public:
  // A fresh port folder; UPSFW_PORTS points at it for this process and its children.
  SimProcess();
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts upsfw-sim linked as com1 with `args`; waits until the link exists.
  bool Start(const std::vector<std::string>& args);
  // Stops it (SIGTERM) and waits for it; its memory and transcript files are then written.
  void Stop();
  const std::string& Folder() const { return folder_; }
  std::string MemoryPath() const { return folder_ + "/memory.bin"; }
  std::string TranscriptPath() const { return folder_ + "/transcript.txt"; }
  std::vector<uint8_t> Memory() const;

 private:
  std::string folder_;
  pid_t pid_ = -1;
};

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs a shell command line, capturing standard output and error.
CommandResult RunCommand(const std::string& command_line);

// Writes an S-record file of `data` at `base` with records of 16 bytes, with 2- or 3-byte
// addresses (S1 or S2), and returns its path (in `folder`).
std::string WriteSRecords(const std::string& folder, const std::string& name,
                          const std::vector<uint8_t>& data, uint32_t base, int addr_bytes);

// Deterministic test data.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);
