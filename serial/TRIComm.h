// The serial port object: the utility's only access to the RS-232 line.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/SerialLine.h"

class TRIComm {
 public:
  // The staging buffer of one Read; a Read asking for more returns false without reading.
  static constexpr int kStagingBytes = 1024;

  // Opens COM<port> at `speed` bits per second, 8N1, no flow control, purged, with the
  // platform read time-outs. Any port still held is closed first, and a port whose
  // configuration fails is closed again, so that no path leaves a port held.
  bool Open(int port, int speed);
  void Close();
  // One write of the whole block; true when it all went out.
  bool Write(const uint8_t* bytes, int count);
  // Reads exactly `count` bytes within `limit_ms`. On success `count` is unchanged and the
  // bytes are in `dst`; on time-out `dst` and `count` are untouched and the bytes that did
  // arrive are dropped. The limit is tested before every platform read, never during one.
  bool Read(uint8_t* dst, int& count, uint32_t limit_ms);
  // Drops what waits in the receive queue: reads of 5 bytes within 5 ms while they come
  // back full. On a quiet line that is one platform read, about 50 ms.
  void Flush();

  bool HoldsPort() const { return handle_ != nullptr; }

 private:
  std::unique_ptr<platform::SerialLine> handle_;
};

// The one serial port object, created before the windows and never destroyed.
extern TRIComm* RIComm;
