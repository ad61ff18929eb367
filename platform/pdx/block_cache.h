// A bounded cache of clean table blocks, least recently used out first.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

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
      map_.erase(order_.back());
      order_.pop_back();
    }
    order_.push_front(number);
    auto& entry = map_[number];
    entry.first = std::move(bytes);
    entry.second = order_.begin();
    return &entry.first;
  }

  void erase(uint16_t number) {
    auto it = map_.find(number);
    if (it == map_.end()) return;
    order_.erase(it->second.second);
    map_.erase(it);
  }

  void clear() {
    map_.clear();
    order_.clear();
  }

 private:
  size_t capacity_;
  std::list<uint16_t> order_;  // most recently used first
  std::unordered_map<uint16_t, std::pair<std::string, std::list<uint16_t>::iterator>> map_;
};

}  // namespace pdx::detail
