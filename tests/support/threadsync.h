#pragma once

// QThread::wait() synchronises out of the thread sanitizer's sight: a test that deletes what
// a finished thread used marks the end of the thread with threadDone (on that thread) and
// the join with threadJoined (after wait()).
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define threadDone(thread) __tsan_release(thread)
#define threadJoined(thread) __tsan_acquire(thread)
#else
#define threadDone(thread) (void)(thread)
#define threadJoined(thread) (void)(thread)
#endif
