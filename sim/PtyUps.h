// The simulated UPS on a pseudo-terminal, in real time.
//
// Open creates the pseudo-terminal (raw from the start) and puts a symbolic link to its
// slave at a path of the caller's choice (a port folder's com1, so that the utility's COM1
// is this UPS). Serve answers until told to stop or until the UPS vanishes; Close closes the
// pseudo-terminal and removes the link.
//
// The speed the utility set on its end is read with tcgetattr on the master side whenever
// bytes come; bytes that come while it differs from the UPS's own speed are noise. Bytes
// written by the utility are taken to arrive one after the other at its speed from the time
// they were read (10 bits a byte), and the answers are written out byte by byte at the UPS's
// speed, so times measured against this UPS are those of a real line.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "sim/UpsModel.h"

namespace sim {

class PtyUps {
 public:
  explicit PtyUps(UpsConfig config);
  ~PtyUps();
  PtyUps(const PtyUps&) = delete;
  PtyUps& operator=(const PtyUps&) = delete;

  // Creates the pseudo-terminal and the link at `link_path` (its folder is created when
  // missing; an old symbolic link there is replaced, anything else is not). On failure says
  // why in `error`.
  bool Open(const std::string& link_path, std::string* error);
  // Answers until `keep_going` returns false (asked at least every 50 ms) or the UPS has
  // vanished (then the pseudo-terminal is closed and the link removed).
  void Serve(const std::function<bool()>& keep_going);
  void Close();

  const std::string& SlavePath() const { return slave_path_; }
  UpsModel& Model() { return model_; }
  // Microseconds since this object was made: the transcript's time base.
  uint64_t Now_us() const;

 private:
  struct OutByte {
    uint8_t value;
    uint64_t due_us;  // when it has fully gone out on the line
  };
  void Queue(std::vector<Action> actions);
  // Carries out the actions that are due; false when the UPS has vanished.
  bool ApplyDue(uint64_t now_us);
  void WriteDue(uint64_t now_us);
  void ReadInput();
  int32_t HostBaud() const;

  UpsModel model_;
  uint64_t origin_ns_;
  int master_ = -1;
  int slave_ = -1;  // held open so that the master does not hang up between the utility's opens
  std::string slave_path_;
  std::string link_path_;
  int32_t line_baud_;
  std::deque<Action> pending_;
  std::deque<OutByte> out_;
  uint64_t tx_free_us_ = 0;
  uint64_t rx_free_us_ = 0;
};

}  // namespace sim
