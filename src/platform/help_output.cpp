#include "platform/help_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

int showHelp(const char *program, const char *text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(errno));
        return 2;
    }
    return 0;
}

} // namespace platform
