// The lines of a text control, kept in our own storage: line i comes back in constant time
// exactly as it was added (a trailing blank included). All lines share one character block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TLineStore {
 public:
  void Add(std::string_view line) {
    text_.append(line);
    ends_.push_back(text_.size());
    if (line.size() > longest_) longest_ = line.size();
  }
  void Clear() {
    text_.clear();
    ends_.clear();
    longest_ = 0;
  }
  int Count() const { return static_cast<int>(ends_.size()); }
  // Line i, for 0 <= i < Count(). The view stays valid until the next change.
  std::string_view operator[](int i) const {
    const size_t index = static_cast<size_t>(i);
    const size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(text_).substr(begin, ends_[index] - begin);
  }
  size_t LongestLine() const { return longest_; }
  void Reserve(size_t chars, size_t lines) {
    text_.reserve(chars);
    ends_.reserve(lines);
  }
  void ShrinkToFit() {
    text_.shrink_to_fit();
    ends_.shrink_to_fit();
  }

 private:
  std::string text_;
  std::vector<size_t> ends_;
  size_t longest_ = 0;
};
