#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "toolkit/com/qm6com.h"

// Under the address sanitizer, an allocation too large to give must fail as it does
// elsewhere, not end the test.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

TEST(GlobalMemory, BlockLifecycle) {
  uint32_t before = QmGlobalCount();
  QmHandle h = QmGlobalAlloc(100);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(QmGlobalCount(), before + 1);
  EXPECT_EQ(QmGlobalSize(h), 100u);

  auto* p = static_cast<uint8_t*>(QmGlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << "zero-filled at " << i;
  std::memset(p, 0x5A, 100);
  // Locks nest; the block keeps its address.
  EXPECT_EQ(QmGlobalLock(h), p);
  EXPECT_NE(QmGlobalUnlock(h), 0);
  EXPECT_EQ(QmGlobalUnlock(h), 0);
  EXPECT_EQ(QmGlobalUnlock(h), 0) << "unlocking an unlocked block stays at 0";
  EXPECT_EQ(static_cast<uint8_t*>(QmGlobalLock(h))[99], 0x5A);

  EXPECT_EQ(QmGlobalFree(h), 0u) << "a locked block is freed too";
  EXPECT_EQ(QmGlobalCount(), before);
  // A freed handle is dead everywhere.
  EXPECT_EQ(QmGlobalLock(h), nullptr);
  EXPECT_EQ(QmGlobalSize(h), 0u);
  EXPECT_EQ(QmGlobalFree(h), h);
  EXPECT_NE(QmGlobalAlloc(1), h) << "handles are not reused at once";
}

TEST(GlobalMemory, RefusesWhatItCannotGive) {
  EXPECT_EQ(QmGlobalAlloc(0), 0u);
  EXPECT_EQ(QmGlobalAlloc(SIZE_MAX / 2), 0u);
  EXPECT_EQ(QmGlobalAllocUncleared(0), 0u);
  EXPECT_EQ(QmGlobalAllocUncleared(SIZE_MAX / 2), 0u);
  EXPECT_EQ(QmGlobalLock(0), nullptr);
  EXPECT_EQ(QmGlobalFree(0), 0u) << "0 is never a live handle, so it comes back as is";
}

TEST(GlobalMemory, HandlesFromManyThreadsStayDistinct) {
  uint32_t before = QmGlobalCount();
  std::vector<std::vector<QmHandle>> got(4);
  std::vector<std::thread> threads;
  for (auto& list : got) {
    threads.emplace_back([&list] {
      for (int i = 0; i < 500; ++i) list.push_back(QmGlobalAlloc(16));
    });
  }
  for (auto& t : threads) t.join();
  std::vector<QmHandle> all;
  for (auto& list : got) all.insert(all.end(), list.begin(), list.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  for (QmHandle h : all) EXPECT_EQ(QmGlobalFree(h), 0u);
  EXPECT_EQ(QmGlobalCount(), before);
}
