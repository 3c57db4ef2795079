#include "platform/event_pump.h"

#include <utility>

namespace platform {

namespace {
std::function<void()> &pendingEventsHandler()
{
    static std::function<void()> handler;
    return handler;
}
} // namespace

void processPendingEvents()
{
    if (const auto &handler = pendingEventsHandler())
        handler();
}

void setPendingEventsHandler(std::function<void()> handler)
{
    pendingEventsHandler() = std::move(handler);
}

} // namespace platform
