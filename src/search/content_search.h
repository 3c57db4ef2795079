#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <functional>

enum class ContentSearchOutcome
{
    Found,
    NotFound,   // also: not searched by design (empty text, folder, hidden or system file)
    Unreadable, // a candidate that could not be looked up, opened or read
};

struct ContentSearchResult
{
    ContentSearchOutcome outcome = ContentSearchOutcome::NotFound;
    qint64 position = 0; // 1-based byte position of the first occurrence, only when Found
    QString error;       // why the file could not be read, only when Unreadable
};

// What the status shows before the percentage while a file is searched. Other windows tell a
// content search under way by its first seven characters, "Suche l".
inline constexpr QStringView contentSearchStatus = u"Suche läuft... ";
inline constexpr QStringView contentSearchStatusStart = contentSearchStatus.left(7);

// Receives contentSearchStatus + percent + "%" after every 4096-byte block.
using StatusSink = std::function<void(const QString &status)>;

// Looks for the text's local 8-bit bytes in the file's raw bytes, from startPosition (1-based).
ContentSearchResult SearchFileForText(const QByteArray &path, const QString &text,
                                      qint64 startPosition, const StatusSink &status = {});
