#pragma once

namespace platform {

// Writes a command-line program's help to standard output. Returns 0, or 2 after saying
// "PROGRAM: write error: ..." on standard error when the text could not be written whole: a
// script that asked for it would take an empty answer for the whole text.
int showHelp(const char *program, const char *text);

} // namespace platform
