#include "platform/standard_output.h"

#include "platform/system_error.h"

#include <cerrno>
#include <cstdio>

namespace platform {

bool standardOutputWritten(const char *program)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    std::fprintf(stderr, "%s: write error: %s\n", program,
                 systemErrorText(errno).toLocal8Bit().constData());
    return false;
}

} // namespace platform
