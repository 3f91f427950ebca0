// Built only with the thread sanitizer. Qt's mutex lives in a library that is not
// instrumented, so the sanitizer cannot see the ordering a QMutex gives and would
// report every access guarded by one as a race. These definitions take the place of
// QMutex's lock and unlock for calls from our code: they call Qt's own functions and
// tell the sanitizer about the acquire and release.
#include <QMutex>

#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

namespace {
template <typename Fn> Fn qtFunction(const char *mangledName)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, mangledName));
}
} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<void (*)(QMutex *)>("_ZN6QMutex4lockEv");
    real(this);
    __tsan_acquire(this);
}

void QMutex::unlock() noexcept
{
    static const auto real = qtFunction<void (*)(QMutex *)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    real(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<bool (*)(QMutex *, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = real(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}
