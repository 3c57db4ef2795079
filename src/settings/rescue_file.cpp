#include "settings/rescue_file.h"

#include "platform/system_error.h"
#include "platform/text_file.h"
#include "platform/user_folders.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

QString stateFolder()
{
    return platform::stateHome() + QStringLiteral("/spurwerk");
}

// The notes as comment lines, after a heading. Control characters other than tabs would make a
// reader take the file for binary, so they become blanks there; the value itself keeps them.
QByteArray notesAsComments(QString notes)
{
    if (notes.isEmpty())
        return QByteArray();
    notes.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    for (QChar &c : notes) {
        if (c.unicode() < 0x20 && c != u'\n' && c != u'\t')
            c = u' ';
    }
    QByteArray comments = ";\n; Notizen:\n";
    comments.reserve(notes.size() + notes.size() / 8);
    for (const QStringView line : QStringView(notes).split(u'\n')) {
        comments += "; ";
        comments += line.toUtf8();
        comments += '\n';
    }
    return comments;
}

// A new file in the folder, named after the time, with "-2", "-3" … when a name is taken.
platform::FileWriteResult writeInto(const QString &folder, const QByteArray &contents,
                                    QString &fileName)
{
    if (const int error = platform::makeFolders(QFile::encodeName(folder)))
        return {false, platform::systemErrorText(error), error};
    const QString name = folder + QStringLiteral("/spurwerk-gerettet-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    platform::FileWriteResult result;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        fileName = name + (attempt > 1 ? QStringLiteral("-%1").arg(attempt) : QString()) +
                   QStringLiteral(".conf");
        result = platform::writeNewFile(QFile::encodeName(fileName), contents);
        if (result.written || result.error != EEXIST)
            break;
    }
    return result;
}

} // namespace

QString RescueResult::report() const
{
    if (!fileName.isEmpty())
        return QStringLiteral("Notizen, Suchtext und Fenstergröße stehen stattdessen in\n%1\n"
                              "Diese Datei kann an die Stelle der Einstellungsdatei treten.")
            .arg(fileName);
    return QStringLiteral("Auch eine Sicherungsdatei ließ sich nicht anlegen (%1). Notizen, "
                          "Suchtext und Fenstergröße dieser Sitzung gehen verloren.")
        .arg(failure);
}

RescueResult writeRescueFile(const QString &settingsFile, const QString &notes,
                             const QByteArray &settings)
{
    const QByteArray contents =
        "; Spurwerk konnte diese Einstellungen nicht in " + settingsFile.toUtf8() +
        " speichern.\n; An deren Stelle kopiert, gelten sie beim nächsten Start.\n" +
        notesAsComments(notes) + '\n' + settings;
    QStringList failures;
    for (const QString &folder : {QFileInfo(settingsFile).absolutePath(), stateFolder()}) {
        QString fileName;
        const platform::FileWriteResult result = writeInto(folder, contents, fileName);
        if (result.written)
            return {fileName, QString()};
        failures.append(QStringLiteral("%1: %2").arg(folder, result.errorText));
    }
    return {QString(), failures.join(QLatin1String("; "))};
}
