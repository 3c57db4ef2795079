#pragma once

#include <QtGlobal>

namespace platform {

// Milliseconds of a monotonic clock that is read without a time-stamp counter, several times
// faster than the precise one; its resolution of a few milliseconds suits loops that ask after
// every step whether it is time for something.
qint64 coarseMilliseconds();

} // namespace platform
