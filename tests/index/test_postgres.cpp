#include "test_postgres.h"

#include "test_tree.h"

#include <QDir>
#include <QProcess>
#include <libpq-fe.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

// The newest PostgreSQL of the distribution's layout, /usr/lib/postgresql/VERSION/bin.
QString serverBinaries()
{
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(),
              [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    for (auto version = found.crbegin(); version != found.crend(); ++version) {
        const QString bin = versions.filePath(*version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

} // namespace

TestPostgres::TestPostgres()
    : m_binaries(serverBinaries())
{
    m_folder = QFile::encodeName(QDir::tempPath()) + "/postgres-XXXXXX";
    if (!::mkdtemp(m_folder.data()) || (::geteuid() == 0 && ::chown(m_folder, nobody, nobody)))
        m_folder.clear();
}

TestPostgres::~TestPostgres()
{
    stop();
    if (!m_folder.isEmpty())
        removeFolderTree(m_folder);
}

bool TestPostgres::runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(QFile::decodeName(m_folder));
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = m_binaries + u'/' + tool;
    if (::geteuid() == 0) {
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=%1").arg(nobody),
                                  QStringLiteral("--regid=%1").arg(nobody),
                                  QStringLiteral("--clear-groups"), program} +
                          arguments);
    } else {
        process.start(program, arguments);
    }
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_problem = tool + QStringLiteral(": ") + process.errorString() + u' ' +
                    QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}

bool TestPostgres::start()
{
    if (m_running)
        return true;
    if (m_binaries.isEmpty()) {
        m_problem = QStringLiteral("no PostgreSQL server installed (scripts/setup.sh installs it)");
        return false;
    }
    if (m_folder.isEmpty()) {
        m_problem = QStringLiteral("no folder for the server");
        return false;
    }
    const QString folder = QFile::decodeName(m_folder);
    const QString data = folder + QStringLiteral("/data");
    if (!m_made &&
        !runTool(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"),
                  QStringLiteral("-U"), QStringLiteral("spurwerk"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                  QStringLiteral("--no-sync")}))
        return false;
    m_made = true;
    m_running =
        runTool(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), data, QStringLiteral("-l"), folder + QStringLiteral("/log"),
                 QStringLiteral("-w"), QStringLiteral("-s"), QStringLiteral("-o"),
                 QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(folder),
                 QStringLiteral("start")});
    return m_running;
}

bool TestPostgres::stop()
{
    if (!m_running)
        return true;
    m_running =
        !runTool(QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), QFile::decodeName(m_folder) + QStringLiteral("/data"),
                  QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                  QStringLiteral("-s"), QStringLiteral("stop")});
    return !m_running;
}

QByteArray TestPostgres::connection(const QByteArray &database, const QByteArray &user) const
{
    return "host=" + m_folder + " dbname=" + database + " user=" + user;
}

bool TestPostgres::execute(const QByteArray &database, const QByteArray &sql)
{
    PGconn *db = PQconnectdb(connection(database).constData());
    PGresult *result = PQexec(db, sql.constData());
    const bool done =
        PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
    if (!done)
        m_problem = QString::fromUtf8(PQerrorMessage(db));
    PQclear(result);
    PQfinish(db);
    return done;
}

QByteArray TestPostgres::newDatabase()
{
    const QByteArray name = "test_" + QByteArray::number(++m_databases);
    if (!execute("postgres", "CREATE DATABASE " + name))
        return {};
    return connection(name);
}
