#pragma once

namespace platform {

// Lets the engine's loops hand control to the window system, at most every 20 ms: often enough
// that a click answers at once, rarely enough that repainting does not dominate a search.
void installThrottledEventPump();

} // namespace platform
