// A bounded cache of clean table blocks, least recently used out first.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace pdx::detail {

class BlockCache {
 public:
  explicit BlockCache(size_t capacity) : capacity_(capacity) {}

  // The cached bytes of a block, or nullptr. The pointer stays valid until
  // the block is put, erased or evicted.
  const std::string* find(uint16_t number) {
    auto it = map_.find(number);
    if (it == map_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second.second);
    return &it->second.first;
  }

  const std::string* put(uint16_t number, std::string bytes) {
    erase(number);
    while (map_.size() >= capacity_ && !order_.empty()) {
      auto it = map_.find(order_.back());
      bytes_ -= it->second.first.size();
      giveBuffer(std::move(it->second.first));
      map_.erase(it);
      order_.pop_back();
    }
    order_.push_front(number);
    auto& entry = map_[number];
    bytes_ += bytes.size();
    entry.first = std::move(bytes);
    entry.second = order_.begin();
    return &entry.first;
  }

  void erase(uint16_t number) {
    auto it = map_.find(number);
    if (it == map_.end()) return;
    bytes_ -= it->second.first.size();
    order_.erase(it->second.second);
    map_.erase(it);
  }

  void clear() {
    map_.clear();
    order_.clear();
    bytes_ = 0;
  }

  // Bytes of the blocks held.
  size_t bytes() const { return bytes_; }

  // Storage for a block about to be read: that of a block the cache let go,
  // when there is one (its old bytes are there, to be overwritten), so that
  // reading a block neither allocates nor clears memory.
  std::string takeBuffer() {
    if (spare_.empty()) return {};
    std::string s = std::move(spare_.back());
    spare_.pop_back();
    return s;
  }
  void giveBuffer(std::string s) {
    if (spare_.size() < kSpareBuffers && s.capacity() > 0) spare_.push_back(std::move(s));
  }

 private:
  static constexpr size_t kSpareBuffers = 32;
  size_t capacity_;
  size_t bytes_ = 0;
  std::vector<std::string> spare_;
  std::list<uint16_t> order_;  // most recently used first
  std::unordered_map<uint16_t, std::pair<std::string, std::list<uint16_t>::iterator>> map_;
};

}  // namespace pdx::detail
