#include "platform/throttled_event_pump.h"

#include "platform/event_pump.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>

namespace platform {

void installThrottledEventPump()
{
    constexpr qint64 intervalMs = 20;
    auto sinceLastPass = std::make_shared<QElapsedTimer>();
    sinceLastPass->start();
    setPendingEventsHandler([sinceLastPass] {
        if (sinceLastPass->elapsed() < intervalMs)
            return;
        QCoreApplication::processEvents();
        sinceLastPass->restart();
    });
}

} // namespace platform
