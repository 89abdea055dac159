#pragma once
// Tells ThreadSanitizer about the ordering an uninstrumented library provides. GLib's and Qt's
// mutexes and conditions wait on futexes directly, which ThreadSanitizer cannot see, so a
// hand-over through a GStreamer queue, a state change or Qt's event queue would look like a
// race. Each such hand-over is marked: the side that hands over calls HandOver(x), the side
// that takes over TakeOver(x). Without ThreadSanitizer both compile to nothing.

#if defined(__SANITIZE_THREAD__)
#define KZ_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KZ_TSAN 1
#endif
#endif

#ifdef KZ_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
inline void HandOver(const void* token) {
    __tsan_release(const_cast<void*>(token));
}
inline void TakeOver(const void* token) {
    __tsan_acquire(const_cast<void*>(token));
}
#else
inline void HandOver(const void*) {}
inline void TakeOver(const void*) {}
#endif
