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

TEST(HeapBuf, SmallGranularityGrowsByHalfOrGranularity)
{
  WDL_HeapBuf hb(128);
  ASSERT_TRUE(hb.Resize(100));
  EXPECT_EQ(hb.GetAllocated(), 100 + 128); // half (50) is below the granularity
  void* const p = hb.Get();
  ASSERT_TRUE(hb.Resize(228));
  EXPECT_EQ(hb.Get(), p) << "growing within the allocation must not move the data";
  ASSERT_TRUE(hb.Resize(1000));
  EXPECT_EQ(hb.GetAllocated(), 1500);
}

TEST(HeapBuf, PageGranularityEndsBelowAPageBoundary)
{
  // Across small, page-straddling and huge requests: the extra is a whole number of pages in
  // [4096, 4194304] on top of the smallest size ending 96 bytes below a page boundary.
  for (long long n :
       {1LL, 4000LL, 4001LL, 4050LL, 4096LL, 100000LL, 8388608LL, 9000000LL, 100000000LL})
  {
    long long const alloc = WDL_HeapBuf::GrowthAllocation(n, 4096);
    SCOPED_TRACE(n);
    EXPECT_EQ((alloc + 96) % 4096, 0);
    long long const pageEnd = (n + 96 + 4095) / 4096 * 4096 - 96;
    long long const extra = alloc - pageEnd;
    EXPECT_GE(pageEnd, n);
    EXPECT_LT(pageEnd - n, 4096);
    EXPECT_EQ(extra % 4096, 0);
    EXPECT_GE(extra, 4096);
    EXPECT_LE(extra, 4194304);
    EXPECT_GE(extra, std::min(n / 2, 4194304LL) / 4096 * 4096);
  }
  EXPECT_EQ(WDL_HeapBuf::GrowthAllocation(1, 4096), 8096);
  EXPECT_EQ(WDL_HeapBuf::GrowthAllocation(100000000, 4096), 100003744 + 4194304);

  WDL_HeapBuf hb(4096);
  ASSERT_TRUE(hb.Resize(10));
  EXPECT_EQ(hb.GetAllocated(), 8096);
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

TEST(TypedBuf, CountsElements)
{
  WDL_TypedBuf<int> tb;
  for (int i = 0; i < 1000; ++i) ASSERT_NE(tb.Add(i), nullptr);
  ASSERT_EQ(tb.GetSize(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(tb.Get()[i], i);
  ASSERT_TRUE(tb.Resize(3));
  EXPECT_EQ(tb.GetSize(), 3);
  EXPECT_EQ(tb.GetHeapBuf()->GetSize(), 12);
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
