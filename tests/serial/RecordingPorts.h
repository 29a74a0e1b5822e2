// Ports that pass everything to other ports and note every platform read: how many bytes
// were asked for and how many came.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "platform/SerialLine.h"

struct PlatformRead {
  size_t asked;
  size_t got;
  bool operator==(const PlatformRead&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const PlatformRead& read) {
    return out << read.got << "/" << read.asked;
  }
};

class RecordingPorts final : public platform::SerialPorts {
 public:
  explicit RecordingPorts(platform::SerialPorts& inner) : inner_(inner) {}
  std::unique_ptr<platform::SerialLine> Open(std::string_view name) override {
    auto line = inner_.Open(name);
    if (!line) return nullptr;
    return std::make_unique<Line>(std::move(line), reads);
  }
  std::vector<PlatformRead> reads;

 private:
  class Line final : public platform::SerialLine {
   public:
    Line(std::unique_ptr<platform::SerialLine> inner, std::vector<PlatformRead>& reads)
        : inner_(std::move(inner)), reads_(reads) {}
    bool Configure(const platform::LineSettings& settings) override {
      return inner_->Configure(settings);
    }
    void Purge() override { inner_->Purge(); }
    size_t Read(uint8_t* dst, size_t count) override {
      const size_t got = inner_->Read(dst, count);
      reads_.push_back({count, got});
      return got;
    }
    bool Write(const uint8_t* src, size_t count) override { return inner_->Write(src, count); }

   private:
    std::unique_ptr<platform::SerialLine> inner_;
    std::vector<PlatformRead>& reads_;
  };
  platform::SerialPorts& inner_;
};
