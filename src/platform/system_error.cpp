#include "platform/system_error.h"

#include <cstring>

namespace platform {

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace platform
