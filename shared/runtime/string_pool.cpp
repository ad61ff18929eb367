#include "string_pool.h"

#include <mutex>
#include <string>
#include <vector>

namespace {

// Slot 0 is never used, so that handle 0 means the empty string. A handle is
// a slot index in the low 24 bits and a generation in the high 8 bits, so a
// stale handle to a reused slot is not mistaken for the new string.
constexpr uint32_t kSlotBits = 24;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;

struct Slot {
  std::string text;
  uint32_t refs = 0;
  uint8_t generation = 1;
};

struct Pool {
  std::mutex mutex;
  std::vector<Slot> slots{1};
  std::vector<uint32_t> free;
  size_t live = 0;

  Slot* find(uint32_t handle) {
    const uint32_t index = handle & kSlotMask;
    if (handle == 0 || index >= slots.size()) return nullptr;
    Slot& s = slots[index];
    if (s.refs == 0 || s.generation != static_cast<uint8_t>(handle >> kSlotBits)) return nullptr;
    return &s;
  }
};

Pool& pool() {
  static Pool* p = new Pool;  // never destroyed: modules may release at exit
  return *p;
}

}  // namespace

extern "C" {

uint32_t tallimoor_str_new(const char* utf8, size_t length) {
  if (!utf8 || length == 0) return 0;
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  uint32_t index;
  if (!p.free.empty()) {
    index = p.free.back();
    p.free.pop_back();
  } else {
    if (p.slots.size() > kSlotMask) return 0;
    index = static_cast<uint32_t>(p.slots.size());
    p.slots.emplace_back();
  }
  Slot& s = p.slots[index];
  s.text.assign(utf8, length);
  s.refs = 1;
  ++p.live;
  return index | (static_cast<uint32_t>(s.generation) << kSlotBits);
}

uint32_t tallimoor_str_addref(uint32_t handle) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (Slot* s = p.find(handle)) ++s->refs;
  return handle;
}

void tallimoor_str_release(uint32_t handle) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  Slot* s = p.find(handle);
  if (!s || --s->refs > 0) return;
  s->text.clear();
  s->text.shrink_to_fit();
  s->generation = static_cast<uint8_t>(s->generation == 255 ? 1 : s->generation + 1);
  p.free.push_back(handle & kSlotMask);
  --p.live;
}

const char* tallimoor_str_data(uint32_t handle, size_t* length) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  const Slot* s = p.find(handle);
  if (length) *length = s ? s->text.size() : 0;
  return s ? s->text.data() : "";
}

size_t tallimoor_str_live(void) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  return p.live;
}

uint32_t tallimoor_str_refs(uint32_t handle) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  const Slot* s = p.find(handle);
  return s ? s->refs : 0;
}

}  // extern "C"
