#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace pdx::detail {

// Keys of one fixed width, numbered 0..size()-1, kept in pieces of a bounded
// number of keys. A key inserted or erased in the middle moves the keys of
// its piece only, so that a table of many thousand blocks that gains one in
// the middle does not move the first keys of them all.
class KeyColumn {
 public:
  static constexpr size_t kPieceKeys = 1024;  // a full piece is cut in two

  explicit KeyColumn(size_t width = 0) : width_(width) {}

  // Empties the column; its keys are `width` bytes from now on.
  void reset(size_t width) {
    width_ = width;
    clear();
  }
  void clear() {
    pieces_.clear();
    starts_.clear();
    size_ = 0;
    last_ = 0;
  }

  size_t width() const { return width_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  const char* at(size_t i) const {
    const size_t p = pieceOf(i);
    return pieces_[p].data() + (i - starts_[p]) * width_;
  }
  char* at(size_t i) {
    const size_t p = pieceOf(i);
    return pieces_[p].data() + (i - starts_[p]) * width_;
  }

  // Adds `width` bytes from `key` at the end.
  void append(const char* key) {
    if (pieces_.empty() || pieces_.back().size() >= kPieceKeys * width_) {
      pieces_.emplace_back();
      pieces_.back().reserve(kPieceKeys * width_);
      starts_.push_back(size_);
    }
    pieces_.back().append(key, width_);
    ++size_;
  }

  // Adds `width` bytes from `key` before key i (at the end when i == size()).
  void insert(size_t i, const char* key) {
    if (i >= size_) {
      append(key);
      return;
    }
    const size_t p = pieceOf(i);
    std::string& piece = pieces_[p];
    piece.insert((i - starts_[p]) * width_, key, width_);
    ++size_;
    for (size_t q = p + 1; q < starts_.size(); ++q) ++starts_[q];
    if (piece.size() > kPieceKeys * width_) {
      const size_t keep = piece.size() / width_ / 2;
      pieces_.insert(pieces_.begin() + static_cast<std::ptrdiff_t>(p) + 1, piece.substr(keep * width_));
      pieces_[p].resize(keep * width_);
      starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(p) + 1, starts_[p] + keep);
    }
  }

  void erase(size_t i) {
    if (i >= size_) return;
    const size_t p = pieceOf(i);
    pieces_[p].erase((i - starts_[p]) * width_, width_);
    --size_;
    for (size_t q = p + 1; q < starts_.size(); ++q) --starts_[q];
    if (pieces_[p].empty()) {
      pieces_.erase(pieces_.begin() + static_cast<std::ptrdiff_t>(p));
      starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(p));
      last_ = 0;
    }
  }

 private:
  // The piece holding key i < size(): the one asked for last when it does,
  // as a search asks for neighbours and a walk for the next key.
  size_t pieceOf(size_t i) const {
    if (last_ < starts_.size() && i >= starts_[last_] && (i - starts_[last_]) * width_ < pieces_[last_].size())
      return last_;
    last_ = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), i) - starts_.begin()) - 1;
    return last_;
  }

  size_t width_;
  std::vector<std::string> pieces_;
  std::vector<size_t> starts_;  // the number of the first key of each piece
  size_t size_ = 0;
  mutable size_t last_ = 0;
};

}  // namespace pdx::detail
