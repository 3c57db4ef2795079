#include "widgets/throttled_event_pump.h"

#include "platform/coarse_clock.h"
#include "platform/event_pump.h"

#include <QCoreApplication>

namespace platform {

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
