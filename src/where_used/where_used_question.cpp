#include "where_used/where_used_question.h"

#include "platform/display_text.h"
#include "platform/file_lookup.h"
#include "search/where_used.h"

#include <algorithm>
#include <cerrno>

namespace {

// A name without a letter or a digit (".", "-") is found in almost every file.
QString nameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("Bitte geben Sie einen Teilenamen ein !");
    if (std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.isLetterOrNumber(); }))
        return QStringLiteral("Der Name „%1“ enthält weder Buchstaben noch Ziffern: nach ihm "
                              "wird nicht gesucht.")
            .arg(name);
    return {};
}

} // namespace

QuestionCheck questionForName(const QString &typed, const QByteArrayList &folders,
                              bool inclSubfolders)
{
    QuestionCheck check;
    check.question.name = typed.trimmed().toUpper();
    check.question.folders = folders;
    check.question.inclSubfolders = inclSubfolders;
    check.problem = nameProblem(typed);
    return check;
}

QuestionCheck questionForFile(const QByteArray &path)
{
    QuestionCheck check;
    if (path.isEmpty()) {
        check.problem = QStringLiteral("Es wurde keine Datei angegeben.");
        return check;
    }
    const QString shown = platform::displayText(path);
    const platform::FileLookup lookup = platform::lookupFile(path);
    if (lookup.kind == platform::FileKind::Inaccessible && lookup.error == EACCES) {
        check.problem = QStringLiteral("Die Datei „%1“ ist nicht erreichbar: ein Verzeichnis auf "
                                       "ihrem Weg darf nicht gelesen werden.")
                            .arg(shown);
        return check;
    }
    if (lookup.kind == platform::FileKind::Inaccessible) {
        check.problem = QStringLiteral("Die Datei „%1“ gibt es nicht.").arg(shown);
        return check;
    }
    if (lookup.kind == platform::FileKind::Folder) {
        check.problem = QStringLiteral("„%1“ ist ein Verzeichnis, keine Teiledatei.").arg(shown);
        return check;
    }
    check.question.name = referenceName(path);
    check.question.rootFile = path;
    const qsizetype nameStart = platform::nameStart(path);
    check.question.folders = {nameStart == 0 ? QByteArrayLiteral(".") : path.left(nameStart)};
    check.problem = nameProblem(check.question.name);
    return check;
}
