#include "find_tool/find_output.h"

#include "search/find_file_error.h"

#include <cstdio>

FindOutput::FindOutput(HitPrinter &printer, const QByteArray &text, WhereUsed *whereUsed)
    : m_printer(printer)
    , m_text(text)
    , m_whereUsed(whereUsed)
{}

void FindOutput::complain(const QByteArray &subject, const QString &reason)
{
    std::fprintf(stderr, "spurwerk-find: %s: %s\n", subject.constData(),
                 reason.toLocal8Bit().constData());
    m_troubled = true;
}

// The finder passes over a folder it cannot list; a script must still learn what was not
// searched.
void FindOutput::folderNotListed(const QByteArray &folder, const QString &reason)
{
    complain(folder, QStringLiteral("cannot be listed: ") + reason);
}

void FindOutput::folderListedPartly(const QByteArray &folder, const QString &reason)
{
    complain(folder, QStringLiteral("cannot be listed completely: ") + reason);
}

void FindOutput::walkFailed(const QByteArray &folder, const FindFileError &error)
{
    complain(folder, error.description + QStringLiteral(": ") + error.cause);
}

// A hit printed before a large file must not wait for that file's end; a look at the clock
// per read chunk of 16 blocks is enough.
void FindOutput::progress(const QString &)
{
    if (++m_blocks % 16 == 0)
        m_printer.flushWhenDue();
}

void FindOutput::hit(const Candidate &candidate, const QList<qsizetype> &)
{
    m_found = true;
    if (m_whereUsed) {
        m_printer.print({"1", candidate.path, m_text});
        m_whereUsed->addReported(candidate.path);
    } else {
        m_printer.print({candidate.path});
    }
    m_printer.flushWhenDue();
}

void FindOutput::missed(const Candidate &candidate)
{
    if (m_whereUsed)
        m_whereUsed->addCandidate(candidate);
    m_printer.flushWhenDue();
}

void FindOutput::fileNotRead(const QByteArray &path, const QString &reason)
{
    complain(path, reason);
    m_printer.flushWhenDue();
}

void FindOutput::found(int level, const QByteArray &path, const QStringList &names)
{
    m_printer.print({QByteArray::number(level), path, names.join(u',').toLocal8Bit()});
    m_printer.flushWhenDue();
}
