#include "test_postgres.h"
#include "test_tree.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/mount.h>

using namespace Qt::StringLiterals;

namespace {

struct Finished
{
    QByteArrayList hits; // sorted
    QByteArray err;
    int exitCode = 0;
};

} // namespace

// A desktop that mounts the file server's share under another path: here a bind mount of the
// tree the indexer watches.
class tst_IndexMap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void mappedRunGivesTheScansHits_data();
    void mappedRunGivesTheScansHits();
    void statusTellsWhetherTheIndexerIsCurrent_data();
    void statusTellsWhetherTheIndexerIsCurrent();
    void checkSaysWhetherTheSetupIsFit_data();
    void checkSaysWhetherTheSetupIsFit();

private:
    Finished find(const QStringList &arguments, const QByteArray &map = {}) const;
    // the placeholders {server}, {local} and {other} of a row made paths
    QString filled(QString text) const;

    TestPostgres m_server;
    QByteArray m_connection;
    TestTree m_tree;
    TestTree m_otherTree;
    QTemporaryDir m_mountPoint;
    QByteArray m_local;
    std::unique_ptr<QProcess> m_indexer;
};

void tst_IndexMap::initTestCase()
{
    if (!m_server.start())
        QSKIP(qPrintable(m_server.problem()));
    m_connection = m_server.newDatabase();
    QVERIFY2(!m_connection.isEmpty(), qPrintable(m_server.problem()));
    for (const char *folder : {"a", "b", "c/d"}) {
        for (int i = 0; i < 3; ++i) {
            m_tree.addFile(QByteArray(folder) + "/teil_" + QByteArray::number(i) + ".asm.1",
                           "xx WELLE_0815" + QByteArray::number(i % 2) + " yy");
        }
    }
    m_tree.addFile("c/d/oben.asm.1", "TEIL_1");
    m_otherTree.addFile("anderes/teil_1.asm.1", "WELLE_08151");
    m_local = QFile::encodeName(m_mountPoint.path());
    if (::mount(m_tree.root().constData(), m_local.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP("a bind mount is refused here (the test needs root and a mount namespace)");

    m_indexer = std::make_unique<QProcess>();
    m_indexer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_indexer->start(
        QStringLiteral(SPURWERK_INDEXD_PATH),
        {u"--db"_s, QString::fromUtf8(m_connection), QFile::decodeName(m_tree.root())});
    QVERIFY(m_indexer->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(find({u"--from-index"_s, u"WELLE_08151"_s, filled(u"{server}"_s)})
                                 .err.contains("caught up"),
                             20000);
}

void tst_IndexMap::cleanupTestCase()
{
    if (m_indexer) {
        m_indexer->terminate();
        QVERIFY(m_indexer->waitForFinished(10000));
    }
    if (!m_local.isEmpty())
        ::umount2(m_local.constData(), MNT_DETACH);
}

QString tst_IndexMap::filled(QString text) const
{
    return text.replace(u"{server}"_s, QFile::decodeName(m_tree.root()))
        .replace(u"{local}"_s, QFile::decodeName(m_local))
        .replace(u"{other}"_s, QFile::decodeName(m_otherTree.root()));
}

Finished tst_IndexMap::find(const QStringList &arguments, const QByteArray &map) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"SPURWERK_INDEX_DB"_s, QString::fromUtf8(m_connection));
    environment.insert(u"SPURWERK_INDEX_MAP"_s, filled(QString::fromUtf8(map)));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SPURWERK_FIND_PATH), arguments);
    process.waitForFinished(30000);
    QByteArrayList hits = process.readAllStandardOutput().split('\n');
    hits.removeAll(QByteArray());
    std::sort(hits.begin(), hits.end());
    return {hits, process.readAllStandardError(), process.exitCode()};
}

void tst_IndexMap::mappedRunGivesTheScansHits_data()
{
    QTest::addColumn<QByteArray>("map");      // SPURWERK_INDEX_MAP
    QTest::addColumn<QStringList>("options"); // before TEXT and FOLDER
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("spared");  // answered without walking
    QTest::addColumn<QString>("note"); // on standard error
    QTest::addColumn<int>("exitCode");
    const QStringList none;
    QTest::addRow("the share mounted elsewhere")
        << QByteArray("{server}={local}") << none << u"{local}"_s << true << u"without walking"_s
        << 0;
    QTest::addRow("the same, answered from the index alone")
        << QByteArray("{server}={local}") << QStringList{u"--from-index"_s} << u"{local}"_s << false
        << u"answered from the office index"_s << 0;
    QTest::addRow("the same, where-used levels")
        << QByteArray("{server}={local}") << QStringList{u"--levels"_s, u"3"_s} << u"{local}"_s
        << true << u"without walking"_s << 0;
    QTest::addRow("the mapping on the command line, a sub-folder run")
        << QByteArray("/nicht/dies=/und/das")
        << QStringList{u"--index-map"_s, u"/srv/x=/tmp"_s, u"--index-map={server}/={local}/"_s}
        << u"{local}/c"_s << true << u"without walking"_s << 0;
    QTest::addRow("a folder outside every mapping")
        << QByteArray("{server}/a={local}/a") << none << u"{local}/b"_s << false
        << u"a folder is not indexed"_s << 0;
    QTest::addRow("the local folder missing")
        << QByteArray("{server}={local}/fehlt") << none << u"{local}"_s << false
        << u"its folder mapping was refused (mapping {server}={local}/fehlt: the local folder "
           "{local}/fehlt does not exist)"_s
        << 0;
    QTest::addRow("another tree at the local folder")
        << QByteArray("{server}={other}") << none << u"{local}"_s << false
        << u"mapping {server}={other}: {other} holds another tree than {server}"_s << 0;
    QTest::addRow("bad input: no \"=\"")
        << QByteArray("{server}") << none << u"{local}"_s << false
        << u"its folder mapping is not valid (SPURWERK_INDEX_MAP: \"{server}\" is no"_s << 2;
    QTest::addRow("bad input on the command line: a loop")
        << QByteArray() << QStringList{u"--index-map"_s, u"/a=/b"_s, u"--index-map"_s, u"/b=/a"_s}
        << u"{local}"_s << false << u"(--index-map: /a=/b and /b=/a map a folder again"_s << 2;
}

// Through the mapping a run gives exactly the scan's hits under the desktop's paths, and answers
// without walking where the indexer is current; a mapping refused or not valid leaves the run to
// the scan, and says why, naming the paths or the setting.
void tst_IndexMap::mappedRunGivesTheScansHits()
{
    QFETCH(QByteArray, map);
    QFETCH(QStringList, options);
    QFETCH(QString, folder);
    QFETCH(bool, spared);
    QFETCH(QString, note);
    QFETCH(int, exitCode);
    for (QString &option : options)
        option = filled(option);
    const QStringList question{u"WELLE_08151"_s, filled(folder)};
    QStringList scanOptions{u"--no-index"_s};
    if (options.contains(u"--levels"_s))
        scanOptions += QStringList{u"--levels"_s, u"3"_s};
    const Finished scanned = find(scanOptions + question);
    QVERIFY(!scanned.hits.isEmpty());
    QVERIFY(scanned.hits.constFirst().startsWith(QFile::encodeName(filled(folder))) ||
            scanned.hits.constFirst().startsWith("1\t" + QFile::encodeName(filled(folder))));

    const Finished mapped = find(options + question, map);
    QCOMPARE(mapped.hits, scanned.hits);
    QVERIFY2(mapped.err.contains(filled(note).toLocal8Bit()), mapped.err);
    QCOMPARE(mapped.err.contains("without walking"), spared);
    QCOMPARE(mapped.exitCode, exitCode);
}

void tst_IndexMap::statusTellsWhetherTheIndexerIsCurrent_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("exitCode");
    QTest::addRow("current, mapped")
        << u"current"_s << QByteArray("{server}={local}") << u"{server} (here {local})"_s << 0;
    QTest::addRow("a folder refused by the kernel")
        << u"refused"_s << QByteArray() << u"1 folders not kept current"_s << 0;
    QTest::addRow("the mapping refused") << u"current"_s << QByteArray("{server}={other}")
                                         << u"folder mapping refused: mapping"_s << 2;
    QTest::addRow("the mapping not valid")
        << u"current"_s << QByteArray("{local}") << u"folder mapping not valid"_s << 2;
    QTest::addRow("the server cannot be asked")
        << u"no server"_s << QByteArray() << u"cannot be asked"_s << 2;
    // last: the indexer takes a moment to say again that it runs
    QTest::addRow("the indexer silent")
        << u"stopped"_s << QByteArray() << u"(silent: stopped?)"_s << 1;
}

// spurwerk-index status: the office index's state, with this desktop's path for its folders,
// and an exit status a script can act on.
void tst_IndexMap::statusTellsWhetherTheIndexerIsCurrent()
{
    QFETCH(QString, state);
    QFETCH(QByteArray, map);
    QFETCH(QString, said);
    QFETCH(int, exitCode);
    const QByteArray database = m_connection.mid(m_connection.indexOf("dbname=") + 7);
    QByteArray connection = m_connection;
    if (state == u"stopped") {
        // stopped where it was, as a hung indexer, and its last heartbeat aged; stopped again
        // should it hold the row in a write of its own
        bool aged = false;
        for (int attempt = 0; attempt < 20 && !aged; ++attempt) {
            ::kill(pid_t(m_indexer->processId()), SIGSTOP);
            aged = m_server.execute(database, "SET lock_timeout = '500ms'; UPDATE spurwerk_watches "
                                              "SET heartbeat = heartbeat - interval '1 minute'");
            if (!aged)
                ::kill(pid_t(m_indexer->processId()), SIGCONT);
        }
        QVERIFY2(aged, qPrintable(m_server.problem()));
    } else if (state == u"refused") {
        QVERIFY(m_server.execute(database,
                                 "INSERT INTO spurwerk_uncovered SELECT folder || '/a'::bytea, "
                                 "'watch', 'the kernel refused to watch it' FROM spurwerk_roots"));
    } else if (state == u"no server") {
        connection = "host=/nonexistent dbname=none";
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"SPURWERK_INDEX_MAP"_s, filled(QString::fromUtf8(map)));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SPURWERK_INDEX_PATH),
                  {u"status"_s, u"--index-db"_s, QString::fromUtf8(connection)});
    QVERIFY(process.waitForFinished(30000));
    if (state == u"stopped")
        ::kill(pid_t(m_indexer->processId()), SIGCONT);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(out.contains(filled(said)), qPrintable(out));
    QCOMPARE(process.exitCode(), exitCode);
}

void tst_IndexMap::checkSaysWhetherTheSetupIsFit_data()
{
    // run as the superuser in a new database that the role "ix" owns, before the check as "ix"
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("exitCode");
    const QByteArray desktopsMayRead = "ALTER DEFAULT PRIVILEGES FOR ROLE ix IN SCHEMA public "
                                       "GRANT SELECT ON TABLES TO desk";
    QTest::addRow("fit") << desktopsMayRead
                         << u"the desktops' roles that may read the index: desk: fit"_s << 0;
    QTest::addRow("no role may read the tables to come")
        << QByteArray() << u"no other role may read the index"_s << 1;
    QTest::addRow("a desktop's role may write")
        << QByteArray("SET ROLE ix; CREATE TABLE spurwerk_records(folder bytea); "
                      "GRANT SELECT, UPDATE ON spurwerk_records TO desk")
        << u"roles that may also write the index: desk"_s << 1;
    QTest::addRow("the indexer's role may not make tables")
        << desktopsMayRead + "; ALTER DATABASE {database} OWNER TO spurwerk"
        << u"no index yet, and ix may not make tables"_s << 1;
}

// spurwerk-indexd --check: the roles' rights as the indexer and the desktops will need them.
void tst_IndexMap::checkSaysWhetherTheSetupIsFit()
{
    QFETCH(QByteArray, setup);
    QFETCH(QString, said);
    QFETCH(int, exitCode);
    // the roles are the server's, made once
    m_server.execute("postgres", "CREATE ROLE ix LOGIN; CREATE ROLE desk LOGIN");
    const QByteArray connection = m_server.newDatabase();
    const QByteArray database = connection.mid(connection.indexOf("dbname=") + 7).split(' ')[0];
    QVERIFY2(m_server.execute(database, "ALTER DATABASE " + database + " OWNER TO ix"),
             qPrintable(m_server.problem()));
    if (!setup.isEmpty()) {
        QVERIFY2(m_server.execute(database, QByteArray(setup).replace("{database}", database)),
                 qPrintable(m_server.problem()));
    }
    QProcess process;
    process.start(QStringLiteral(SPURWERK_INDEXD_PATH),
                  {u"--check"_s, u"--db"_s, QString::fromUtf8(m_server.connection(database, "ix")),
                   QFile::decodeName(m_tree.root())});
    QVERIFY(process.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(out.contains(said), qPrintable(out));
    QVERIFY2(out.contains(u"inotify: "_s), qPrintable(out));
    QCOMPARE(process.exitCode(), exitCode);
}

QTEST_GUILESS_MAIN(tst_IndexMap)
#include "tst_index_map.moc"
