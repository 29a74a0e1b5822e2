// The operating system's serial line, as the serial port object needs it.
//
// One open port is a SerialLine. Its operations keep the semantics that the utility was
// built on:
//  - Read of k bytes is one "platform read": it returns when k bytes are there, when more
//    than 10 ms pass between two bytes (counted from the first byte), or after 10 * k ms in
//    all, whichever comes first. It returns how many bytes it took (0 to k). A line whose
//    device has gone away reads as no bytes, after the read's own time-out.
//  - Write of k bytes gives up after 10 * k ms; it reports whether all bytes went out.
//  - Purge drops what waits to be read; it follows every open, when the new handle has
//    nothing of its own to send.
//  - Configure applies 8 data bits, no parity, 1 stop bit, no flow control at a speed;
//    a speed the line cannot take fails.
// Ports are opened by name ("COM1" ...) through the SerialPorts of the process, which is the
// POSIX one unless a test installs another (the fake line).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Time-outs of one platform read and write.
inline constexpr std::chrono::milliseconds kReadIntervalTimeout{10};
inline constexpr std::chrono::milliseconds kReadTimeoutPerByte{10};
inline constexpr std::chrono::milliseconds kWriteTimeoutPerByte{10};

// The line settings that a mode string such as "2400,N,8,1" stands for.
struct LineSettings {
  int32_t baud = 0;
};

// Parses "%d,N,8,1". Anything else (another parity, word size or stop bits, a speed that is
// not a positive number) gives nothing.
std::optional<LineSettings> ParseModeString(std::string_view mode);

class SerialLine {
 public:
  virtual ~SerialLine() = default;
  virtual bool Configure(const LineSettings& settings) = 0;
  virtual void Purge() = 0;
  virtual size_t Read(uint8_t* dst, size_t count) = 0;
  virtual bool Write(const uint8_t* src, size_t count) = 0;
};

class SerialPorts {
 public:
  virtual ~SerialPorts() = default;
  // Opens the port exclusively; nullptr when it does not exist or is held.
  virtual std::unique_ptr<SerialLine> Open(std::string_view name) = 0;
};

// The POSIX ports of this machine (see PosixSerial.cpp for how names map to devices).
SerialPorts& PosixPorts();

// The ports the serial port object opens: the POSIX ones unless a test installs others.
SerialPorts& CurrentPorts();
void SetPorts(SerialPorts* ports);  // nullptr restores the POSIX ports

class ScopedPorts {
 public:
  explicit ScopedPorts(SerialPorts& ports) { SetPorts(&ports); }
  ~ScopedPorts() { SetPorts(nullptr); }
  ScopedPorts(const ScopedPorts&) = delete;
  ScopedPorts& operator=(const ScopedPorts&) = delete;
};

}  // namespace platform
