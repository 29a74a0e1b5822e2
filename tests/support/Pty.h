// A pseudo-terminal standing in for a serial device, and a port folder that maps COM names
// to it. The test holds the master side; the code under test opens the slave as "COMn".
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Pty {
 public:
  // Opens a new pseudo-terminal; throws std::system_error when the system has none to give.
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // The slave device, e.g. /dev/pts/3.
  const std::string& SlavePath() const { return slave_path_; }
  int MasterFd() const { return master_; }

  // Sends bytes from the device to the slave side.
  void Send(const std::vector<uint8_t>& bytes);
  // Takes what the slave side wrote: up to `max` bytes, waiting at most `wait_ms` for them.
  std::vector<uint8_t> Receive(size_t max, int wait_ms);
  // The slave side's line settings, as the master sees them.
  termios SlaveSettings() const;
  // The device disappears: the slave side sees a hang-up.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slave_path_;
};

// A temporary port folder, installed as $UPSFW_PORTS for its lifetime (the previous value
// comes back afterwards).
class PortFolder {
 public:
  PortFolder();
  ~PortFolder();
  PortFolder(const PortFolder&) = delete;
  PortFolder& operator=(const PortFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Makes "COM<number>" lead to `target` (a symbolic link named com<number>).
  void Link(int number, std::string_view target);

 private:
  std::string path_;
  std::vector<std::string> entries_;
  bool had_previous_ = false;
  std::string previous_;
};
