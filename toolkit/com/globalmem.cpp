// Movable global memory as a table of 32-bit handles. Blocks come from the C heap and
// never move; "movable" only means that callers hold a handle, not an address.
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "toolkit/com/qm6com.h"

namespace {

struct Block {
  void* data;
  size_t size;
  uint32_t locks;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<QmHandle, Block> blocks;
  QmHandle next = 1;
};

Table& table() {
  static Table* t = new Table;  // never destroyed: blocks may be freed during exit
  return *t;
}

// Enters a block of `bytes` bytes at `data` (from malloc or calloc) into the table; 0 and
// the memory freed when the table is full.
QmHandle enter(void* data, size_t bytes) {
  if (!data) return 0;
  Table& t = table();
  std::lock_guard lock(t.mutex);
  if (t.blocks.size() >= 0xFFFFFFF0u) {
    std::free(data);
    return 0;
  }
  // Handles count up and skip 0 and live ones, so a stale handle stays dead for a long time.
  while (t.next == 0 || t.blocks.count(t.next)) ++t.next;
  QmHandle h = t.next++;
  t.blocks.emplace(h, Block{data, bytes, 0});
  return h;
}

}  // namespace

extern "C" {

QmHandle QmGlobalAlloc(size_t bytes) { return bytes == 0 ? 0 : enter(std::calloc(1, bytes), bytes); }

QmHandle QmGlobalAllocUncleared(size_t bytes) { return bytes == 0 ? 0 : enter(std::malloc(bytes), bytes); }

void* QmGlobalLock(QmHandle handle) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.blocks.find(handle);
  if (it == t.blocks.end()) return nullptr;
  ++it->second.locks;
  return it->second.data;
}

QmBool QmGlobalUnlock(QmHandle handle) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.blocks.find(handle);
  if (it == t.blocks.end() || it->second.locks == 0) return 0;
  return --it->second.locks != 0;
}

size_t QmGlobalSize(QmHandle handle) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.blocks.find(handle);
  return it == t.blocks.end() ? 0 : it->second.size;
}

QmHandle QmGlobalFree(QmHandle handle) {
  void* data = nullptr;
  {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.blocks.find(handle);
    if (it == t.blocks.end()) return handle;
    data = it->second.data;
    t.blocks.erase(it);
  }
  std::free(data);
  return 0;
}

uint32_t QmGlobalCount(void) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return static_cast<uint32_t>(t.blocks.size());
}

}  // extern "C"
