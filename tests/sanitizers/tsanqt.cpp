// Linked into every test of a ThreadSanitizer build (qv_add_test): teaches ThreadSanitizer the two
// hand-overs between threads that happen inside the uninstrumented Qt, where its own mutexes (futex
// based) are invisible to the sanitizer:
//  - a queued call or posted event: everything the posting thread did before posting happens
//    before the receiving thread handles the event. The poster allocates the event after the
//    functor of a queued call was made, and every allocation is a release at its address here, which
//    the event's delivery acquires. The argument copies of a queued signal are made after the event
//    was allocated; the poster's wake-up of the receiver's event loop (a write to the loop's
//    eventfd, after the event is queued) releases them, and a delivery acquires the wake-ups of the
//    delivering thread's own loop. A loop whose wake-up is still pending is not written to again,
//    so arguments copied into a later event of the same burst are not covered: hand values over as
//    one functor's captures (made before its event), not as queued Q_ARG copies or as the arguments
//    of a queued signal (two workers finishing together are such a burst).
//    Events posted before a new thread has made its event loop wake nothing up, so QThread::start
//    returns here only once the loop exists.
//  - the end of a thread: deleting its event loop closes its eventfd (a release), and a successful
//    QThread::wait acquires it, as a join would.
// What remains are Qt's own reports from inside its uninstrumented code: tools/sanitizers/tsan.supp.
// Without these, every queued task and every worker deleted after `wait` is reported as a race.

// Qt
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// Local
#include <atomic>
#include <dlfcn.h>
#include <new>
#include <sys/types.h>
#include <vector>

extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

namespace {

constexpr int maxFds = 1 << 16;
char wakeUpTokens[maxFds]; // the addresses the sanitizer synchronises on, one per eventfd
std::atomic<bool> isWakeUp[maxFds];
thread_local std::vector<int> ownWakeUps; // eventfds created by this thread: its event loop's
char threadEndToken;
char loopStartToken;

template<typename F> F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool onEventDelivery(void **data)
{
    __tsan_acquire(data[1]); // the event, released when it was allocated
    for (int fd : ownWakeUps)
        __tsan_acquire(&wakeUpTokens[fd]);
    return false; // deliver as usual
}

[[maybe_unused]] const bool registered
    = QInternal::registerCallback(QInternal::EventNotifyCallback, &onEventDelivery);

} // namespace

// Every allocation releases at its address, so that the event's delivery (which acquires at the
// event's address) sees all its poster did before allocating it.
void *operator new(std::size_t size)
{
    static const auto allocate = real<void *(*)(std::size_t)>("_Znwm");
    void *p = allocate(size);
    __tsan_release(p);
    return p;
}

extern "C" int eventfd(unsigned int count, int flags)
{
    static const auto create = real<int (*)(unsigned int, int)>("eventfd");
    const int fd = create(count, flags);
    if (fd >= 0 && fd < maxFds) {
        isWakeUp[fd].store(true);
        ownWakeUps.push_back(fd);
        __tsan_release(&loopStartToken);
    }
    return fd;
}

extern "C" ssize_t write(int fd, const void *buffer, size_t bytes)
{
    static const auto writeBytes = real<ssize_t (*)(int, const void *, size_t)>("write");
    if (fd >= 0 && fd < maxFds && isWakeUp[fd].load(std::memory_order_relaxed)) {
        __tsan_release(&wakeUpTokens[fd]);
    }
    return writeBytes(fd, buffer, bytes);
}

extern "C" int close(int fd)
{
    static const auto closeFd = real<int (*)(int)>("close");
    if (fd >= 0 && fd < maxFds && isWakeUp[fd].exchange(false)) {
        __tsan_release(&threadEndToken);
        std::erase(ownWakeUps, fd);
    }
    return closeFd(fd);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread *, QDeadlineTimer);
    static const auto waitFor
        = reinterpret_cast<Wait>(dlvsym(RTLD_NEXT, "_ZN7QThread4waitE14QDeadlineTimer", "Qt_6"));
    const bool done = waitFor(this, deadline);
    if (done)
        __tsan_acquire(&threadEndToken);
    return done;
}

void QThread::start(Priority priority)
{
    using Start = void (*)(QThread *, Priority);
    static const auto startThread
        = reinterpret_cast<Start>(dlvsym(RTLD_NEXT, "_ZN7QThread5startENS_8PriorityE", "Qt_6"));
    startThread(this, priority);
    // Events posted before the new thread has its event loop wake nothing up: wait for the loop
    // (and its eventfd) so that every later post is seen, and the eventfd's creation with it.
    QDeadlineTimer patience(10000);
    while (!eventDispatcher() && isRunning() && !patience.hasExpired())
        yieldCurrentThread();
    __tsan_acquire(&loopStartToken);
}
