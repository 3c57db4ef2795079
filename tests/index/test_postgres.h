#pragma once

#include <QByteArray>
#include <QString>

// A PostgreSQL server of the test's own: initdb into a temporary folder, reached only through a
// Unix socket in that folder (no TCP port), stopped when this object ends. As root it runs as
// "nobody", since the server refuses to run as root.
class TestPostgres
{
public:
    TestPostgres();
    ~TestPostgres();
    TestPostgres(const TestPostgres &) = delete;
    TestPostgres &operator=(const TestPostgres &) = delete;

    // Makes the cluster (once) and starts the server unless it runs; false with problem() saying
    // why.
    bool start();
    // A fast shutdown: sessions are ended at once, as when the server machine goes down.
    bool stop();
    QString problem() const { return m_problem; }

    // A new empty database, as a connection string for the user (the superuser by default).
    QByteArray newDatabase();
    QByteArray connection(const QByteArray &database, const QByteArray &user = "spurwerk") const;
    // Runs statements as the superuser; false with problem() saying why.
    bool execute(const QByteArray &database, const QByteArray &sql);

private:
    bool runTool(const QString &tool, const QStringList &arguments);

    QByteArray m_folder; // the socket's; the cluster lies in its "data"
    QString m_binaries;
    QString m_problem;
    bool m_made = false;
    bool m_running = false;
    int m_databases = 0;
};
