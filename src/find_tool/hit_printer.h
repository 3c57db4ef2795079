#pragma once

#include "platform/coarse_clock.h"

#include <QByteArrayView>
#include <initializer_list>

// Prints the hits as they are found, one line of fields each. Standard output is a terminal's
// line by line; elsewhere it is written in blocks, since a write per hit costs a system call, but
// never held back for longer than a moment, so a reader sees the first hits early.
class HitPrinter
{
public:
    // nullEnded: each field ends with a NUL byte, where fields are otherwise parted by a tab and
    // the line ends with a line end
    explicit HitPrinter(bool nullEnded);
    HitPrinter(const HitPrinter &) = delete;
    HitPrinter &operator=(const HitPrinter &) = delete;

    void print(std::initializer_list<QByteArrayView> fields);
    // Called after every candidate.
    void flushWhenDue();
    // False when the hits could not all be written.
    bool flush();

private:
    static constexpr qint64 flushIntervalMs = 100;
    char m_between;
    char m_end;
    bool m_pending = false;
    qint64 m_lastFlush = platform::coarseMilliseconds();
};
