// Interposes the allocator, pthread locks and __cxa_throw so that tests can
// prove a code path performs none of them. Linked into every test executable.
#include "tests/support/realtime_tripwire.h"

#include <dlfcn.h>
#include <pthread.h>
#include <stdlib.h>

#include <cstddef>
#include <new>

namespace plumbrook::test {
namespace {
thread_local int armedDepth = 0;
thread_local Violations seen;

inline bool armed() { return armedDepth > 0; }
}  // namespace

RealtimeGuard::RealtimeGuard() {
  if (armedDepth++ == 0) seen = Violations{};
}

RealtimeGuard::~RealtimeGuard() { disarm(); }

Violations RealtimeGuard::disarm() {
  if (armed_) {
    armed_ = false;
    --armedDepth;
  }
  return seen;
}

}  // namespace plumbrook::test

#if defined(PLUMBROOK_NO_TRIPWIRE) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
namespace plumbrook::test {
bool tripwireActive() { return false; }
}  // namespace plumbrook::test
#else

using plumbrook::test::armed;
using plumbrook::test::seen;

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
  if (armed()) ++seen.allocations;
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  if (armed()) ++seen.allocations;
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  if (armed()) ++seen.allocations;
  return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  if (armed()) ++seen.allocations;
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  if (armed()) ++seen.allocations;
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  if (armed()) ++seen.allocations;
  void* p = __libc_memalign(alignment, size);
  if (!p) return 12;  // ENOMEM
  *out = p;
  return 0;
}
void free(void* p) {
  if (p && armed()) ++seen.frees;
  __libc_free(p);
}
}  // extern "C"

namespace {
template <typename Fn>
Fn nextSymbol(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

using MutexFn = int (*)(pthread_mutex_t*);
using RwFn = int (*)(pthread_rwlock_t*);
using CondWaitFn = int (*)(pthread_cond_t*, pthread_mutex_t*);
using ThrowFn = void (*)(void*, void*, void (*)(void*));

// Resolved before main() so that no lookup happens while armed.
struct RealFunctions {
  MutexFn mutexLock = nextSymbol<MutexFn>("pthread_mutex_lock");
  MutexFn mutexTrylock = nextSymbol<MutexFn>("pthread_mutex_trylock");
  RwFn rdlock = nextSymbol<RwFn>("pthread_rwlock_rdlock");
  RwFn wrlock = nextSymbol<RwFn>("pthread_rwlock_wrlock");
  CondWaitFn condWait = nextSymbol<CondWaitFn>("pthread_cond_wait");
  ThrowFn cxaThrow = nextSymbol<ThrowFn>("__cxa_throw");
};
RealFunctions& real() {
  static RealFunctions functions;
  return functions;
}
[[maybe_unused]] const RealFunctions& resolvedEarly = real();
}  // namespace

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* m) {
  if (armed()) ++seen.locks;
  return real().mutexLock(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
  if (armed()) ++seen.locks;
  return real().mutexTrylock(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
  if (armed()) ++seen.locks;
  return real().rdlock(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
  if (armed()) ++seen.locks;
  return real().wrlock(l);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  if (armed()) ++seen.locks;
  return real().condWait(c, m);
}
[[noreturn]] void __cxa_throw(void* object, void* type, void (*destructor)(void*)) {
  if (armed()) ++seen.throws;
  real().cxaThrow(object, type, destructor);
  __builtin_unreachable();
}
}  // extern "C"

void* operator new(std::size_t size) {
  if (armed()) ++seen.allocations;
  if (void* p = __libc_malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (armed()) ++seen.allocations;
  return __libc_malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  if (armed()) ++seen.allocations;
  if (void* p = __libc_memalign(static_cast<size_t>(alignment), size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return operator new(size, alignment);
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
void operator delete(void* p, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { free(p); }

namespace plumbrook::test {
bool tripwireActive() { return true; }
}  // namespace plumbrook::test
#endif
