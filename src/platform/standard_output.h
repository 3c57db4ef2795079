#pragma once

namespace platform {

// Whether everything printed to standard output has reached it. When not, standard error says so
// ("PROGRAM: write error: REASON"): a script would otherwise take an empty or cut answer for the
// whole one.
bool standardOutputWritten(const char *program);

} // namespace platform
