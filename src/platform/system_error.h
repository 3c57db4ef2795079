#pragma once

#include <QString>

namespace platform {

// The system's message for an errno value, for showing to a person.
QString systemErrorText(int error);

} // namespace platform
