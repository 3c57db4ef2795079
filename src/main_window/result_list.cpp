#include "main_window/result_list.h"

#include "platform/file_lookup.h"
#include "platform/text_file.h"
#include "search/name_analysis.h"

#include <QSet>

#include <algorithm>

namespace {

QString withoutSurroundingBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && text.at(first) == u' ')
        ++first;
    while (end > first && text.at(end - 1) == u' ')
        --end;
    return text.mid(first, end - first);
}

bool isDecimalDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Two entries are duplicates when these are equal; equal texts always have equal keys.
struct DuplicateKey
{
    QString baseName;
    QString type;
    QString revision;
    bool operator==(const DuplicateKey &) const = default;
};

size_t qHash(const DuplicateKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.baseName, key.type, key.revision);
}

// Latin-1 gives every byte a character of its own, so keys of paths that are not valid in the
// local encoding stay apart; the name functions only look for "." and "/", the same in both.
DuplicateKey duplicateKey(const QByteArray &entry)
{
    const QString path = QString::fromLatin1(entry);
    return {Zerlege(path), GetExt(path), revisionValue(getnum(path))};
}

} // namespace

HitDetails hitDetails(const QString &path)
{
    const QString type = GetExt(path);
    return {Zerlege(withoutSurroundingBlanks(path)), type, QStringLiteral("Datentyp: ") + type,
            QStringLiteral("Rev.Nr. ") + getnum(path)};
}

QString revisionValue(const QString &revision)
{
    qsizetype i = 0;
    while (i < revision.size() && revision.at(i) == u' ')
        ++i;
    const bool negative = i < revision.size() && revision.at(i) == u'-';
    if (i < revision.size() && (revision.at(i) == u'-' || revision.at(i) == u'+'))
        ++i;
    while (i < revision.size() && revision.at(i) == u'0')
        ++i;
    const qsizetype digits = i;
    while (i < revision.size() && isDecimalDigit(revision.at(i)))
        ++i;
    if (i == digits)
        return QStringLiteral("0");
    const QString number = revision.mid(digits, i - digits);
    return negative ? QLatin1Char('-') + number : number;
}

// Walking from the end, the first entry met of each group is its last in list order and stays.
QList<int> duplicatePositions(const QByteArrayList &entries)
{
    QList<int> blanked;
    QSet<DuplicateKey> groupsMet;
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        if (entries.at(i).isEmpty())
            continue;
        DuplicateKey key = duplicateKey(entries.at(i));
        if (groupsMet.contains(key))
            blanked.append(int(i));
        else
            groupsMet.insert(std::move(key));
    }
    std::reverse(blanked.begin(), blanked.end());
    return blanked;
}

QByteArray whatsfoundPath(const QByteArray &workingFolder)
{
    const QByteArray name("whatsfound.txt");
    if (workingFolder.isEmpty())
        return name;
    return platform::inFolder(workingFolder, name);
}

QByteArray whatsfoundContents(const QString &searchText, const QString &criterion,
                              const QByteArrayList &entries)
{
    platform::CrLfText text;
    qsizetype size = 200 + searchText.size() * 3 + criterion.size() * 3;
    for (const QByteArray &entry : entries)
        size += entry.size() + 2;
    text.reserve(size);
    text.addLine(QStringLiteral("Datei: ") + searchText);
    text.addLine(QStringLiteral("ist vorhanden in Dateien den Typs : ") + criterion);
    text.addLine(QStringLiteral("------Auflistung der Dateien:------"));
    text.addLine(QStringLiteral("-----------------------------------"));
    for (const QByteArray &entry : entries)
        text.addLine(entry);
    return text.bytes();
}
