#include "search/name_analysis.h"

#include "platform/file_lookup.h"

namespace {

struct NameParts
{
    QString name;
    QString type;
};

// One right-to-left scan: every dot with something behind it cuts the rest off as the type, the
// first separator with something behind it ends the scan; a trailing separator is passed over.
NameParts split(QString p, PathSyntax syntax)
{
    NameParts parts;
    if (syntax == PathSyntax::Windows && p.size() >= 2 && p.at(1) == u':')
        p.remove(0, 2);
    const QChar separator = QLatin1Char(pathSeparator(syntax));
    for (qsizetype i = p.size(); i >= 1; --i) {
        const qsizetype behind = p.size() - i;
        if (p.at(i - 1) == u'.') {
            if (behind >= 1)
                parts.type = p.mid(i - 1);
            p.truncate(i - 1);
        } else if (p.at(i - 1) == separator && behind >= 1) {
            parts.name = p.mid(i);
            return parts;
        }
    }
    parts.name = p;
    return parts;
}

} // namespace

QString Zerlege(const QString &Pfad, PathSyntax syntax)
{
    return split(Pfad, syntax).name;
}

QString GetExt(const QString &Pfad, PathSyntax syntax)
{
    return split(Pfad, syntax).type;
}

QString getnum(const QString &Pfad)
{
    const qsizetype lastDot = Pfad.lastIndexOf(u'.');
    return lastDot < 0 ? QString() : Pfad.mid(lastDot + 1);
}

bool DirExists(const QByteArray &Path)
{
    return platform::isFolder(Path);
}

bool FileExists(const QByteArray &sFile)
{
    return platform::fileSize(sFile).has_value();
}
