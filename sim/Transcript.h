// The record of everything the simulated UPS heard and said, with times, to read when a test
// fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct TranscriptEntry {
  enum class Kind : uint8_t {
    kIn,       // a whole request frame (its time: its last byte arrived)
    kOut,      // a reply, NAK or stray bytes sent (its time: the first byte starts out)
    kNoise,    // bytes sent at another speed than the UPS's
    kGarbage,  // bytes that make no frame (stray bytes, a frame cut short)
    kIgnored,  // bytes that arrived while the UPS was busy or gone
    kNote,     // what the UPS did: a fault, a speed change, an erase, a refusal ...
  };
  uint64_t time_us = 0;
  Kind kind = Kind::kNote;
  std::vector<uint8_t> bytes;
  std::string note;
};

class Transcript {
 public:
  void Add(uint64_t time_us, TranscriptEntry::Kind kind, std::vector<uint8_t> bytes,
           std::string note);
  void Note(uint64_t time_us, std::string note) {
    Add(time_us, TranscriptEntry::Kind::kNote, {}, std::move(note));
  }
  const std::vector<TranscriptEntry>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }

  // One line an entry: "    12.345678 <- 01 08 00 09  inquiry".
  std::string Text() const;
  bool WriteTo(const std::string& path) const;

 private:
  std::vector<TranscriptEntry> entries_;
};

}  // namespace sim
