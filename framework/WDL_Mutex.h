#pragma once
// Recursive mutex: the thread that holds it may lock it again, and must unlock as often.
//
// The plug-in base holds one per instance; the audio callback, the host's requests and the
// editor's parameter changes all go through it, and the product's handlers take it again from
// inside those calls. It uses priority inheritance: a real-time audio thread that waits for a
// normal-priority holder lifts that holder to its own priority until it lets go, so nothing of
// lower priority can keep the audio waiting by preempting the holder.

#include <pthread.h>

class WDL_Mutex
{
public:
  WDL_Mutex()
  {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&mMutex, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  ~WDL_Mutex() { pthread_mutex_destroy(&mMutex); }
  WDL_Mutex(WDL_Mutex const&) = delete;
  WDL_Mutex& operator=(WDL_Mutex const&) = delete;

  void Enter() { pthread_mutex_lock(&mMutex); }
  void Leave() { pthread_mutex_unlock(&mMutex); }
  // Locks when that is possible without waiting; true when this thread now holds it.
  bool TryEnter() { return pthread_mutex_trylock(&mMutex) == 0; }

private:
  pthread_mutex_t mMutex;
};

// Holds a WDL_Mutex for the lifetime of the object; a null mutex is allowed and does nothing.
class WDL_MutexLock
{
public:
  explicit WDL_MutexLock(WDL_Mutex* m) : mMutex(m)
  {
    if (mMutex) mMutex->Enter();
  }
  ~WDL_MutexLock()
  {
    if (mMutex) mMutex->Leave();
  }
  WDL_MutexLock(WDL_MutexLock const&) = delete;
  WDL_MutexLock& operator=(WDL_MutexLock const&) = delete;

private:
  WDL_Mutex* mMutex;
};
