// A mutex the compiler can check. Clang's thread-safety analysis (-Wthread-safety) follows the
// annotations below: data marked GUARDED_BY(m) may be touched only with m held, and a function
// marked REQUIRES(m) may be called only with m held. Other compilers see plain code.
//
// libstdc++'s std::mutex and std::lock_guard carry no annotations, so the analysis would not
// see them lock; Mutex and MutexLock do the same with annotations. A std::unique_lock over a
// Mutex still works where a lock is taken conditionally, unchecked.
#pragma once

#include <mutex>

#if defined(__clang__)
#define VESSIKO_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VESSIKO_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) VESSIKO_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY VESSIKO_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) VESSIKO_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) VESSIKO_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) VESSIKO_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) VESSIKO_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VESSIKO_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) VESSIKO_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) VESSIKO_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace vessiko {

class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace vessiko
