#include "indexd/setup_check.h"

#include "index/index_format.h"
#include "index/postgres_store.h"
#include "indexd/folder_watch.h"

#include <QFile>
#include <QString>
#include <cstdio>

namespace {

const char inotifyLimitFile[] = "/proc/sys/fs/inotify/max_user_watches";

class Verdicts
{
public:
    void say(const QString &subject, const QString &finding, bool fit)
    {
        std::printf("%s: %s: %s\n", subject.toLocal8Bit().constData(),
                    finding.toLocal8Bit().constData(), fit ? "fit" : "NOT FIT");
        m_allFit = m_allFit && fit;
    }
    bool allFit() const { return m_allFit; }

private:
    bool m_allFit = true;
};

QString names(const QByteArrayList &roles)
{
    return QString::fromUtf8(roles.join(", "));
}

void checkDatabase(const QByteArray &connection, Verdicts &verdicts)
{
    PostgresStore::Setup setup;
    try {
        setup = PostgresStore(connection, PostgresStore::Mode::Check).setup();
    } catch (const IndexError &error) {
        verdicts.say(QStringLiteral("database"),
                     QStringLiteral("cannot be asked (%1)").arg(error.detail), false);
        return;
    }
    const QString role = QString::fromUtf8(setup.role);
    if (setup.layout == 0) {
        verdicts.say(QStringLiteral("database"),
                     setup.mayCreate
                         ? QStringLiteral("no index yet; %1 may make its tables").arg(role)
                         : QStringLiteral("no index yet, and %1 may not make tables (GRANT "
                                          "CREATE ON SCHEMA public TO %1, or make it the "
                                          "database's owner)")
                               .arg(role),
                     setup.mayCreate);
    } else {
        const bool known = setup.layout <= IndexFormat::postgresLayout;
        verdicts.say(QStringLiteral("database"),
                     known ? QStringLiteral("an index of layout %1 (the indexer makes an older "
                                            "one anew)")
                                 .arg(setup.layout)
                           : QStringLiteral("an index of layout %1, newer than this indexer's %2")
                                 .arg(setup.layout)
                                 .arg(IndexFormat::postgresLayout),
                     known);
    }
    verdicts.say(QStringLiteral("rights"),
                 setup.mayWrite
                     ? QStringLiteral("%1 may write the index's tables").arg(role)
                     : QStringLiteral("%1 may not write every table of the index").arg(role),
                 setup.mayWrite);
    verdicts.say(QStringLiteral("rights"),
                 setup.readers.isEmpty()
                     ? QStringLiteral("no other role may read the index: the desktops cannot "
                                      "ask it (see ALTER DEFAULT PRIVILEGES in the guide)")
                     : QStringLiteral("the desktops' roles that may read the index: %1")
                           .arg(names(setup.readers)),
                 !setup.readers.isEmpty());
    if (!setup.writers.isEmpty()) {
        verdicts.say(QStringLiteral("rights"),
                     QStringLiteral("roles that may also write the index: %1 (a desktop's role "
                                    "should only read)")
                         .arg(names(setup.writers)),
                     false);
    }
}

// The kernel's own answer: every folder watched as the indexer watches it, then let go.
void checkWatchLimit(const QByteArrayList &folders, Verdicts &verdicts)
{
    QFile limitFile(QString::fromLatin1(inotifyLimitFile));
    const qint64 limit =
        limitFile.open(QIODevice::ReadOnly) ? limitFile.readAll().trimmed().toLongLong() : 0;
    FolderWatch watch(folders);
    qint64 count = 0;
    for (const QByteArray &folder : folders)
        count += watch.addTree(folder).size();
    const qint64 refused = std::count_if(
        watch.unwatched().cbegin(), watch.unwatched().cend(), [](const QString &reason) {
            return reason.startsWith(QStringLiteral("the kernel refused"));
        });
    const QString finding = QStringLiteral("%1 folders to watch, fs.inotify.max_user_watches is %2")
                                .arg(count)
                                .arg(limit);
    if (refused == 0) {
        verdicts.say(QStringLiteral("inotify"), finding, true);
        return;
    }
    verdicts.say(QStringLiteral("inotify"),
                 finding + QStringLiteral("; the kernel refused %1 of them (set "
                                          "fs.inotify.max_user_watches to at least %2 in "
                                          "/etc/sysctl.d/, then sysctl --system)")
                               .arg(refused)
                               .arg(2 * count),
                 false);
}

} // namespace

int checkSetup(const QByteArray &connection, const QByteArrayList &folders)
{
    Verdicts verdicts;
    checkDatabase(connection, verdicts);
    checkWatchLimit(folders, verdicts);
    return verdicts.allFit() ? 0 : 1;
}
