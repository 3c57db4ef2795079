#pragma once

#include <functional>

namespace platform {

// Long engine loops call this between steps so the windows stay responsive. The windows install
// QCoreApplication::processEvents (throttled); the command-line tool and engine tests leave it
// empty.
void processPendingEvents();
void setPendingEventsHandler(std::function<void()> handler);

} // namespace platform
