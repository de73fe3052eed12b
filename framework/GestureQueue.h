#pragma once
// The editor's gestures on their way to the host: begin, values, end, in the order the user made
// them. The editor thread pushes; the thread that talks to the host (its GUI thread where it has
// one) takes them out. The lock is held only while pushing or taking, never while the host is
// called, so a host may answer a notification with a request of its own on any thread.

#include <cstddef>
#include <mutex>
#include <vector>

class GestureQueue
{
public:
  struct Gesture
  {
    enum EKind : int
    {
      kBegin,
      kValue,
      kEnd,
      kEditorSize // the editor asks for a window of mIdx x mValue pixels
    } mKind;
    int mIdx;      // parameter index; width for kEditorSize
    double mValue; // kValue: whatever unit the adapter queued it in; height for kEditorSize
  };

  explicit GestureQueue(size_t capacity = 4096) : mCapacity(capacity) { mQueue.reserve(256); }

  // A value right after a value of the same parameter replaces it: a drag between two
  // deliveries keeps only its latest position. A full queue (a host that never takes them)
  // drops values but keeps every begin and end, so that each gesture still closes.
  void Push(Gesture::EKind kind, int idx, double value = 0.0)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (kind == Gesture::kValue && !mQueue.empty() && mQueue.back().mKind == Gesture::kValue &&
        mQueue.back().mIdx == idx)
    {
      mQueue.back().mValue = value;
      return;
    }
    if (kind == Gesture::kValue && mQueue.size() >= mCapacity) return;
    if (mQueue.size() >= 2 * mCapacity) return; // begins and ends alone: give up rather than grow
    mQueue.push_back({kind, idx, value});
  }

  // Everything queued, in order, into *pOut (emptied first); the queue is left empty.
  void TakeAll(std::vector<Gesture>* pOut)
  {
    pOut->clear();
    std::lock_guard<std::mutex> lock(mMutex);
    pOut->swap(mQueue);
  }

  bool Empty()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return mQueue.empty();
  }

private:
  std::mutex mMutex;
  std::vector<Gesture> mQueue;
  size_t const mCapacity;
};
