#include "platform/windows/throttled_event_pump.h"

#include "platform/event_pump.h"

#include <QCoreApplication>

#include <time.h>

namespace platform {

namespace {

// The coarse clock is read without a time-stamp counter, several times faster than the precise
// one, and the engine asks after every 4096 bytes; its resolution of a few milliseconds is plenty
// for a 20 ms rhythm.
qint64 coarseMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

void installThrottledEventPump()
{
    constexpr qint64 intervalMs = 20;
    setPendingEventsHandler([lastPass = coarseMilliseconds()]() mutable {
        const qint64 now = coarseMilliseconds();
        if (now - lastPass < intervalMs)
            return;
        QCoreApplication::processEvents();
        lastPass = coarseMilliseconds();
    });
}

} // namespace platform
