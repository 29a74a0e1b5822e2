#include "sim/Transcript.h"

#include <cstdio>
#include <fstream>

namespace sim {

namespace {

const char* Arrow(TranscriptEntry::Kind kind) {
  switch (kind) {
    case TranscriptEntry::Kind::kIn:
      return "<-";
    case TranscriptEntry::Kind::kOut:
      return "->";
    case TranscriptEntry::Kind::kNoise:
      return "~~";
    case TranscriptEntry::Kind::kGarbage:
      return "??";
    case TranscriptEntry::Kind::kIgnored:
      return "xx";
    case TranscriptEntry::Kind::kNote:
      return "  ";
  }
  return "  ";
}

}  // namespace

void Transcript::Add(uint64_t time_us, TranscriptEntry::Kind kind, std::vector<uint8_t> bytes,
                     std::string note) {
  entries_.push_back(TranscriptEntry{time_us, kind, std::move(bytes), std::move(note)});
}

std::string Transcript::Text() const {
  std::string text;
  char head[48];
  for (const TranscriptEntry& entry : entries_) {
    std::snprintf(head, sizeof head, "%6llu.%06llu %s",
                  static_cast<unsigned long long>(entry.time_us / 1'000'000),
                  static_cast<unsigned long long>(entry.time_us % 1'000'000), Arrow(entry.kind));
    text += head;
    // Long frames are shortened in the middle; the note says what they were.
    constexpr size_t kShown = 24;
    for (size_t i = 0; i < entry.bytes.size(); ++i) {
      if (entry.bytes.size() > kShown && i == kShown - 4) {
        text += " ..";
        i = entry.bytes.size() - 4;
      }
      char byte[4];
      std::snprintf(byte, sizeof byte, " %02X", entry.bytes[i]);
      text += byte;
    }
    if (!entry.note.empty()) text += (entry.bytes.empty() ? " " : "  ") + entry.note;
    text += '\n';
  }
  return text;
}

bool Transcript::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << Text();
  return static_cast<bool>(out);
}

}  // namespace sim
