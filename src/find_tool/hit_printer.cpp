#include "find_tool/hit_printer.h"

#include <cstdio>
#include <unistd.h>

namespace {

// standard output's, alive until the flush at the exit, whenever the printer ends
char outputBuffer[1 << 16];

} // namespace

HitPrinter::HitPrinter(bool nullEnded)
    : m_between(nullEnded ? '\0' : '\t')
    , m_end(nullEnded ? '\0' : '\n')
{
    const bool terminal = ::isatty(STDOUT_FILENO);
    std::setvbuf(stdout, outputBuffer, terminal ? _IOLBF : _IOFBF, sizeof outputBuffer);
}

void HitPrinter::print(std::initializer_list<QByteArrayView> fields)
{
    bool first = true;
    for (const QByteArrayView field : fields) {
        if (!std::exchange(first, false))
            std::fputc(m_between, stdout);
        std::fwrite(field.data(), 1, size_t(field.size()), stdout);
    }
    std::fputc(m_end, stdout);
    m_pending = true;
}

void HitPrinter::flushWhenDue()
{
    if (m_pending && platform::coarseMilliseconds() - m_lastFlush >= flushIntervalMs)
        flush();
}

bool HitPrinter::flush()
{
    m_pending = false;
    m_lastFlush = platform::coarseMilliseconds();
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}
