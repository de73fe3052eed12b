// Growth, shrink and failure rules of the heap buffers; the lists and strings built on them.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/WDL_HeapBuf.h"
#include "framework/WDL_Mutex.h"
#include "framework/WDL_PtrList.h"
#include "framework/WDL_String.h"

TEST(HeapBuf, GrowthAllocations)
{
  // Below a page of granularity: half the request or the granularity on top. From a page: up to
  // 96 bytes below a page boundary, then whole pages of extra, at most 4 MiB of them.
  struct
  {
    int granularity, request, allocation;
  } const rows[] = {{128, 100, 228},           {128, 1000, 1500},
                    {4096, 1, 8096},           {4096, 4000, 8096},
                    {4096, 4001, 12192},       {4096, 4096, 12192},
                    {4096, 100000, 155552},    {4096, 8388608, 12586912},
                    {4096, 9000000, 13197216}, {4096, 100000000, 104198048}};
  for (auto const& r : rows)
  {
    SCOPED_TRACE(r.request);
    EXPECT_EQ(WDL_HeapBuf::GrowthAllocation(r.request, r.granularity), r.allocation);
    if (r.request > 1 << 20) continue;
    WDL_HeapBuf hb(r.granularity);
    ASSERT_TRUE(hb.Resize(r.request));
    EXPECT_EQ(hb.GetAllocated(), r.allocation);
  }
}

// What callers rely on, whatever the rule: the data stays put within the allocation, appending
// one element at a time reallocates O(log n) times, and growing keeps the contents. The typed
// buffer counts elements.
TEST(HeapBuf, AppendingIsAmortisedAndKeepsTheData)
{
  constexpr int kN = 1 << 20; // 4 MiB of ints
  for (int granularity : {1, 128, 4096})
  {
    SCOPED_TRACE(granularity);
    WDL_TypedBuf<int> tb(granularity);
    int grows = 0;
    for (int i = 0; i < kN; ++i)
    {
      int const alloc = tb.GetHeapBuf()->GetAllocated();
      int* const before = tb.Get();
      ASSERT_NE(tb.Add(i), nullptr);
      bool const grew = tb.GetHeapBuf()->GetAllocated() != alloc;
      grows += grew;
      ASSERT_TRUE(grew || !before || tb.Get() == before) << "moved within its allocation at " << i;
    }
    EXPECT_LE(grows, 2 * 22); // twice log2 of the bytes
    ASSERT_EQ(tb.GetSize(), kN);
    for (int i = 0; i < kN; ++i) ASSERT_EQ(tb.Get()[i], i);
    ASSERT_TRUE(tb.Resize(3));
    EXPECT_EQ(tb.GetSize(), 3);
    EXPECT_EQ(tb.GetHeapBuf()->GetSize(), 12);
  }
}

TEST(HeapBuf, ShrinksOnlyWhenAskedAndBelowHalf)
{
  WDL_HeapBuf hb(128);
  ASSERT_TRUE(hb.Resize(10000));
  int const alloc = hb.GetAllocated();
  ASSERT_TRUE(hb.Resize(10));
  EXPECT_EQ(hb.GetAllocated(), alloc);
  ASSERT_TRUE(hb.Resize(alloc / 2, true));
  EXPECT_EQ(hb.GetAllocated(), alloc) << "not below half: keeps the allocation";
  std::memset(hb.Get(), 0x5A, 10);
  ASSERT_TRUE(hb.Resize(10, true));
  EXPECT_EQ(hb.GetAllocated(), 10);
  EXPECT_EQ(static_cast<unsigned char*>(hb.Get())[9], 0x5A);
}

TEST(HeapBuf, FailureLeavesTheBufferAsItWas)
{
  WDL_HeapBuf hb(128);
  ASSERT_TRUE(hb.Resize(64));
  std::memset(hb.Get(), 7, 64);
  void* const p = hb.Get();
  int const alloc = hb.GetAllocated();
  for (int bad : {-1, WDL_HeapBuf::kMaxSize + 1, 0x7FFFFFFF})
  {
    EXPECT_FALSE(hb.Resize(bad)) << bad;
    EXPECT_EQ(hb.GetSize(), 64);
    EXPECT_EQ(hb.GetAllocated(), alloc);
    EXPECT_EQ(hb.Get(), p);
  }
  EXPECT_EQ(static_cast<unsigned char*>(hb.Get())[63], 7);

  WDL_TypedBuf<double> tb;
  EXPECT_FALSE(tb.Resize(WDL_HeapBuf::kMaxSize / 4)); // bytes overflow the ceiling
  EXPECT_EQ(tb.GetSize(), 0);
}

TEST(HeapBuf, SizeZeroGivesNullDataAndCopiesAreDeep)
{
  WDL_HeapBuf hb;
  EXPECT_EQ(hb.Get(), nullptr);
  ASSERT_TRUE(hb.Resize(5));
  std::memcpy(hb.Get(), "abcd", 5);
  WDL_HeapBuf copy(hb);
  ASSERT_TRUE(hb.Resize(0));
  EXPECT_EQ(hb.Get(), nullptr);
  EXPECT_GT(hb.GetAllocated(), 0);
  EXPECT_STREQ(static_cast<char*>(copy.Get()), "abcd");
  WDL_HeapBuf moved(std::move(copy));
  EXPECT_STREQ(static_cast<char*>(moved.Get()), "abcd");
  EXPECT_EQ(copy.Get(), nullptr);
}

namespace
{
struct Tracked
{
  Tracked(int id, std::vector<int>* log) : mId(id), mLog(log) {}
  ~Tracked() { mLog->push_back(mId); }
  int mId;
  std::vector<int>* mLog;
};
} // namespace

TEST(PtrList, InsertDeleteAndOwnership)
{
  std::vector<int> deleted;
  WDL_PtrList<Tracked> list;
  Tracked* a = list.Add(new Tracked(1, &deleted));
  list.Add(new Tracked(3, &deleted));
  list.Insert(1, new Tracked(2, &deleted));
  list.Insert(-5, new Tracked(0, &deleted));
  list.Insert(99, new Tracked(4, &deleted));
  ASSERT_EQ(list.GetSize(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.Get(i)->mId, i);
  EXPECT_EQ(list.Get(5), nullptr);
  EXPECT_EQ(list.Get(-1), nullptr);
  EXPECT_EQ(list.Find(a), 1);

  list.Delete(1); // not deleted: the caller keeps it
  EXPECT_TRUE(deleted.empty());
  EXPECT_EQ(list.Get(1)->mId, 2);
  delete a;
  list.Delete(7, true); // outside: nothing
  list.Delete(0, true);
  EXPECT_EQ((std::vector<int>{1, 0}), deleted);

  deleted.clear();
  list.Empty(true);
  EXPECT_EQ((std::vector<int>{4, 3, 2}), deleted) << "emptying deletes from last to first";
  EXPECT_EQ(list.GetSize(), 0);
}

TEST(String, BoundedSetAndAppend)
{
  WDL_String s;
  EXPECT_STREQ(s.Get(), "");
  s.Set("hello world", 5);
  EXPECT_STREQ(s.Get(), "hello");
  s.Append(" there", 3);
  EXPECT_STREQ(s.Get(), "hello th");
  s.Set("ab\0cd", 5); // stops at the NUL
  EXPECT_STREQ(s.Get(), "ab");
  EXPECT_EQ(s.GetLength(), 2);
  s.Set(nullptr);
  EXPECT_STREQ(s.Get(), "");

  // Long texts and appending a string to itself, where growing moves the buffer.
  std::string expect = "x";
  s.Set("x");
  for (int i = 0; i < 12; ++i)
  {
    s.Append(s.Get());
    expect += expect;
  }
  EXPECT_EQ(expect, s.Get());

  s.SetFormatted(6, "%s-%d", "chan", 12345);
  EXPECT_STREQ(s.Get(), "chan-1");
  s.AppendFormatted(0, "%0600d", 7);
  EXPECT_EQ(s.GetLength(), 606);
  s.SetLen(3);
  EXPECT_STREQ(s.Get(), "cha");

  WDL_String copy(s);
  s.Set("other");
  EXPECT_STREQ(copy.Get(), "cha");
}

TEST(Mutex, IsRecursiveAndExcludesOtherThreads)
{
  WDL_Mutex m;
  m.Enter();
  ASSERT_TRUE(m.TryEnter()) << "the holder may lock again";

  auto otherThreadGetsIt = [&m]
  {
    std::atomic<bool> got{false};
    std::thread t(
        [&]
        {
          got = m.TryEnter();
          if (got) m.Leave();
        });
    t.join();
    return got.load();
  };

  EXPECT_FALSE(otherThreadGetsIt());
  m.Leave();
  EXPECT_FALSE(otherThreadGetsIt()) << "still held once";
  m.Leave();
  EXPECT_TRUE(otherThreadGetsIt());
}
