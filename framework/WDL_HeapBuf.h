#pragma once
// Growable heap buffers.
//
// WDL_HeapBuf is a block of bytes with a used size and a larger allocated size. Growing past the
// allocation reallocates with room to spare, so that appending byte by byte costs amortised
// constant time:
//
//   extra = max(newSize / 2, granularity)
//   allocation = newSize + extra                                   (granularity < 4096)
//   allocation = P(newSize) + round_up(extra, 4096) clamped to [4096, 4194304]
//                                                                   (granularity >= 4096)
//
// where P(n) is the smallest size >= n that ends 96 bytes below a 4096-byte boundary, so large
// buffers plus the allocator's own header stay within whole pages.
//
// The allocation shrinks only when the caller asks (resizeDown) and the new size is below half of
// it. A failed allocation leaves the buffer exactly as it was and Resize reports it. A used size
// of 0 gives a null data pointer, whatever is allocated.
//
// WDL_TypedBuf<T> is the same buffer counted in elements of a plain (trivially copyable) type.

#include <cstddef>
#include <cstring>
#include <type_traits>

class WDL_HeapBuf
{
public:
  // Sizes above this are refused without trying to allocate: a sane ceiling for anything a
  // plug-in holds, and it keeps all size arithmetic far away from int overflow.
  static constexpr int kMaxSize = 1 << 30;

  explicit WDL_HeapBuf(int granularity = 4096) : mGranul(granularity > 0 ? granularity : 1) {}
  ~WDL_HeapBuf();

  WDL_HeapBuf(WDL_HeapBuf const& other);
  WDL_HeapBuf& operator=(WDL_HeapBuf const& other);
  WDL_HeapBuf(WDL_HeapBuf&& other) noexcept;
  WDL_HeapBuf& operator=(WDL_HeapBuf&& other) noexcept;

  // The data, or null when the used size is 0.
  void* Get() const { return mSize > 0 ? mBuf : nullptr; }
  int GetSize() const { return mSize; }
  int GetAllocated() const { return mAlloc; }
  int GetGranul() const { return mGranul; }
  void SetGranul(int granularity) { mGranul = granularity > 0 ? granularity : 1; }

  // Sets the used size. Returns true on success; on failure (negative or oversized request,
  // allocation failure) the buffer keeps its size, allocation and contents. Bytes gained by
  // growing are not initialised. With resizeDown, a size below half the allocation gives the
  // spare memory back.
  bool Resize(int newSize, bool resizeDown = false);

  // The allocation the growth rule gives for a request of newSize bytes with this granularity
  // (no clamping to kMaxSize). Exposed so the rule can be checked on its own.
  static long long GrowthAllocation(long long newSize, int granularity);

private:
  void* mBuf = nullptr;
  int mAlloc = 0;
  int mSize = 0;
  int mGranul;
};

template <class T> class WDL_TypedBuf
{
  static_assert(std::is_trivially_copyable_v<T>, "WDL_TypedBuf holds plain types only");

public:
  explicit WDL_TypedBuf(int granularity = 4096) : mHB(granularity) {}

  T* Get() const { return static_cast<T*>(mHB.Get()); }
  int GetSize() const { return mHB.GetSize() / static_cast<int>(sizeof(T)); }

  // Element count; false (and unchanged) when it cannot be had.
  bool Resize(int newCount, bool resizeDown = false)
  {
    if (newCount < 0 || static_cast<long long>(newCount) * sizeof(T) > WDL_HeapBuf::kMaxSize)
      return false;
    return mHB.Resize(newCount * static_cast<int>(sizeof(T)), resizeDown);
  }

  // Appends one element; returns its address, or null when the buffer could not grow.
  T* Add(T const& value)
  {
    int const n = GetSize();
    if (!Resize(n + 1)) return nullptr;
    T* p = Get() + n;
    std::memcpy(static_cast<void*>(p), &value, sizeof(T));
    return p;
  }

  WDL_HeapBuf* GetHeapBuf() { return &mHB; }

private:
  WDL_HeapBuf mHB;
};
