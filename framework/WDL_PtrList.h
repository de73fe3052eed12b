#pragma once
// An ordered list of pointers on a WDL_HeapBuf (granularity 4096 bytes).
//
// The list never deletes on its own: an owner empties it with wantDelete in its destructor, and
// that deletes the elements from the last to the first.

#include "framework/WDL_HeapBuf.h"

template <class T> class WDL_PtrList
{
public:
  WDL_PtrList() : mHB(4096) {}
  WDL_PtrList(WDL_PtrList const&) = delete;
  WDL_PtrList& operator=(WDL_PtrList const&) = delete;

  T** GetList() const { return static_cast<T**>(mHB.Get()); }
  int GetSize() const { return mHB.GetSize() / static_cast<int>(sizeof(T*)); }

  // The element at index, or null for an index outside the list.
  T* Get(int index) const { return index >= 0 && index < GetSize() ? GetList()[index] : nullptr; }

  // The first index holding p, or -1.
  int Find(T const* p) const
  {
    T** list = GetList();
    for (int i = 0, n = GetSize(); i < n; ++i)
      if (list[i] == p) return i;
    return -1;
  }

  // Appends p; returns it, or null when the list could not grow (the caller keeps p then).
  T* Add(T* p) { return Insert(GetSize(), p); }

  // Inserts p before index (clamped into 0..size); returns p, or null when the list could not grow.
  T* Insert(int index, T* p)
  {
    int const n = GetSize();
    if (!mHB.Resize((n + 1) * static_cast<int>(sizeof(T*)))) return nullptr;
    if (index < 0) index = 0;
    if (index > n) index = n;
    T** list = GetList();
    std::memmove(list + index + 1, list + index, static_cast<size_t>(n - index) * sizeof(T*));
    list[index] = p;
    return p;
  }

  // Removes the element at index, deleting it when asked; later elements move down one place.
  // An index outside the list does nothing.
  void Delete(int index, bool wantDelete = false)
  {
    int const n = GetSize();
    if (index < 0 || index >= n) return;
    T** list = GetList();
    T* p = list[index];
    std::memmove(list + index, list + index + 1, static_cast<size_t>(n - 1 - index) * sizeof(T*));
    mHB.Resize((n - 1) * static_cast<int>(sizeof(T*)));
    if (wantDelete) delete p;
  }

  // Removes every element; with wantDelete deletes them from the last to the first.
  void Empty(bool wantDelete = false)
  {
    if (wantDelete)
    {
      for (int i = GetSize() - 1; i >= 0; --i)
      {
        T* p = GetList()[i];
        mHB.Resize(i * static_cast<int>(sizeof(T*)));
        delete p;
      }
    }
    mHB.Resize(0, true);
  }

private:
  WDL_HeapBuf mHB;
};
