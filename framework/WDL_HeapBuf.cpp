#include "framework/WDL_HeapBuf.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

namespace
{
constexpr long long kPage = 4096;
constexpr long long kPageSlack = 96; // left free at the end of the last page
constexpr long long kMaxExtra = 4194304;
} // namespace

long long WDL_HeapBuf::GrowthAllocation(long long newSize, int granularity)
{
  long long extra = std::max(newSize / 2, static_cast<long long>(granularity));
  if (granularity < kPage) return newSize + extra;

  extra = (extra + kPage - 1) / kPage * kPage;
  extra = std::clamp(extra, kPage, kMaxExtra);
  long long const pageEnd = (newSize + kPageSlack + kPage - 1) / kPage * kPage - kPageSlack;
  return pageEnd + extra;
}

WDL_HeapBuf::~WDL_HeapBuf()
{
  std::free(mBuf);
}

WDL_HeapBuf::WDL_HeapBuf(WDL_HeapBuf const& other) : mGranul(other.mGranul)
{
  if (other.mSize > 0 && Resize(other.mSize))
    std::memcpy(mBuf, other.mBuf, static_cast<size_t>(mSize));
}

WDL_HeapBuf& WDL_HeapBuf::operator=(WDL_HeapBuf const& other)
{
  if (this != &other && Resize(other.mSize) && mSize > 0)
    std::memcpy(mBuf, other.mBuf, static_cast<size_t>(mSize));
  return *this;
}

WDL_HeapBuf::WDL_HeapBuf(WDL_HeapBuf&& other) noexcept
    : mBuf(std::exchange(other.mBuf, nullptr)), mAlloc(std::exchange(other.mAlloc, 0)),
      mSize(std::exchange(other.mSize, 0)), mGranul(other.mGranul)
{
}

WDL_HeapBuf& WDL_HeapBuf::operator=(WDL_HeapBuf&& other) noexcept
{
  if (this != &other)
  {
    std::free(mBuf);
    mBuf = std::exchange(other.mBuf, nullptr);
    mAlloc = std::exchange(other.mAlloc, 0);
    mSize = std::exchange(other.mSize, 0);
    mGranul = other.mGranul;
  }
  return *this;
}

bool WDL_HeapBuf::Resize(int newSize, bool resizeDown)
{
  if (newSize < 0 || newSize > kMaxSize) return false;

  if (newSize > mAlloc)
  {
    long long want = GrowthAllocation(newSize, mGranul);
    if (want > INT_MAX) // only with an absurd granularity: then no spare room
      want = newSize;
    void* p = std::realloc(mBuf, static_cast<size_t>(want));
    if (!p) return false;
    mBuf = p;
    mAlloc = static_cast<int>(want);
  }
  else if (resizeDown && newSize < mAlloc / 2)
  {
    if (newSize == 0)
    {
      std::free(mBuf);
      mBuf = nullptr;
      mAlloc = 0;
    }
    else if (void* p = std::realloc(mBuf, static_cast<size_t>(newSize)))
    {
      // A failed shrink keeps the larger block, which is still valid.
      mBuf = p;
      mAlloc = newSize;
    }
  }
  mSize = newSize;
  return true;
}
