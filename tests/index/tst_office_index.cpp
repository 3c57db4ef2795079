#include "index/index_connection.h"
#include "index/index_location.h"
#include "index/index_update.h"
#include "index/indexer_state.h"
#include "index/postgres_store.h"
#include "index/run_grams.h"
#include "index_fixture.h"
#include "indexd/office_indexer.h"
#include "test_postgres.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A connection of its own that holds a lock until it ends, as a long write of another program.
class HeldLock
{
public:
    HeldLock(const QByteArray &connection, const QByteArray &table)
        : m_db(PQconnectdb(connection.constData()))
    {
        PQclear(PQexec(m_db, "BEGIN"));
        PQclear(PQexec(m_db, "LOCK TABLE " + table + " IN ACCESS EXCLUSIVE MODE"));
    }
    ~HeldLock() { PQfinish(m_db); }

private:
    PGconn *m_db;
};

struct Finished
{
    QByteArrayList hits;
    QByteArray err;
    int exitCode = 0;
};

// The indexer in this process, on a thread of its own, with the kernel refusing to watch every
// folder named "verboten".
class IndexerThread
{
public:
    IndexerThread(const QByteArray &server, const QByteArray &root, qint64 reconnectMs = 2000)
    {
        OfficeIndexer::Options options;
        options.connection = server;
        options.reconnectMs = reconnectMs;
        options.folders = {canonicalFolder(root)};
        options.addWatch = [](int descriptor, const char *path, uint32_t events) {
            if (QByteArray(path).endsWith("/verboten")) {
                errno = ENOSPC;
                return -1;
            }
            return inotify_add_watch(descriptor, path, events);
        };
        options.log = [this](const QString &line) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_log.append(line);
        };
        m_thread = std::thread([this, options] { OfficeIndexer(options).run(m_stop); });
    }
    ~IndexerThread()
    {
        m_stop = true;
        m_thread.join();
    }
    QStringList log() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_log;
    }

private:
    std::atomic<bool> m_stop = false;
    mutable std::mutex m_mutex;
    QStringList m_log;
    std::thread m_thread;
};

} // namespace

class tst_OfficeIndex : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void failingServerGivesTheScansAnswer_data();
    void failingServerGivesTheScansAnswer();
    void readOnlyRoleCannotWrite();
    void selectionHoldsExactlyTheRunsWithANeedle_data();
    void selectionHoldsExactlyTheRunsWithANeedle();
    void indexerWritesEachChangeWithinTheDeadline_data();
    void indexerWritesEachChangeWithinTheDeadline();
    void indexerCatchesUpAfterTheServerWasAway();
    void currentIndexerSparesTheWalk_data();
    void currentIndexerSparesTheWalk();
    void currentIndexerSparesTheWalkOfEveryRun_data();
    void currentIndexerSparesTheWalkOfEveryRun();
    void answerAloneFailingIsTrouble();
    void watchTellsOnlyWhatTheIndexerCaughtUpWith();
    void stoppedIndexerIsNotTrusted();
    void fileSavedJustBeforeARunIsFound();
    void longPathMadeWhileTheIndexerRunsIsRecorded();
    void folderNoNoticeCoversIsReadByEveryRun_data();
    void folderNoNoticeCoversIsReadByEveryRun();
    void indexerWithoutTheRightToWriteSaysSoOnce_data();
    void indexerWithoutTheRightToWriteSaysSoOnce();

private:
    Finished find(const QStringList &options, const QString &text) const;
    void startIndexer();
    // "add", "write" or "remove" a path of the tree; "rename", "symlink" (a target) or
    // "hardlink" to a second path
    void change(const QByteArray &step);

    TestPostgres m_server;
    std::optional<IndexFixture> m_fixture;
    std::unique_ptr<QProcess> m_indexer;
};

void tst_OfficeIndex::initTestCase()
{
    if (!m_server.start())
        QSKIP(qPrintable(m_server.problem()));
}

void tst_OfficeIndex::init()
{
    m_fixture.emplace();
    QVERIFY2(m_server.start(), qPrintable(m_server.problem()));
    m_fixture->server = m_server.newDatabase();
    QVERIFY2(!m_fixture->server.isEmpty(), qPrintable(m_server.problem()));
    for (const char *folder : {"a", "b", "c"}) {
        for (int i = 0; i < 4; ++i) {
            m_fixture->tree.addFile(QByteArray(folder) + "/teil_" + QByteArray::number(i) +
                                        ".asm.1",
                                    "xx WELLE_0815" + QByteArray::number(i % 2) + " yy");
        }
    }
}

void tst_OfficeIndex::cleanup()
{
    if (!m_indexer)
        return;
    // a test may have stopped it
    ::kill(pid_t(m_indexer->processId()), SIGCONT);
    // it ends on SIGTERM, as systemd stops it
    m_indexer->terminate();
    QVERIFY(m_indexer->waitForFinished(10000));
    QCOMPARE(m_indexer->exitCode(), 0);
    m_indexer.reset();
}

void tst_OfficeIndex::failingServerGivesTheScansAnswer_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("officeUsed");
    QTest::addColumn<IndexReport::Reason>("reason");
    using Reason = IndexReport::Reason;
    QTest::addRow("server down") << u"down"_s << false << Reason::Failed;
    QTest::addRow("server stopped while the run has it open")
        << u"stopped"_s << true << Reason::Failed;
    QTest::addRow("records locked past the deadline") << u"locked"_s << true << Reason::Failed;
    QTest::addRow("a database without the index") << u"empty"_s << false << Reason::NoIndex;
    QTest::addRow("a newer layout") << u"newer"_s << false << Reason::Newer;
    QTest::addRow("an older layout") << u"older"_s << false << Reason::Damaged;
    QTest::addRow("a role without rights") << u"no rights"_s << false << Reason::Failed;
}

// Whatever becomes of the server, a run answers as the scan does, and its report says why the
// office index did not serve it.
void tst_OfficeIndex::failingServerGivesTheScansAnswer()
{
    QFETCH(QString, failure);
    QFETCH(bool, officeUsed);
    QFETCH(IndexReport::Reason, reason);
    IndexFixture &fixture = *m_fixture;
    if (failure != u"empty")
        fixture.update();
    const QString text = u"WELLE_08151"_s;
    const RunAnswer scanned = fixture.run(text, false);
    QCOMPARE(scanned.hits.size(), 6);

    std::optional<HeldLock> lock;
    const QByteArray database =
        fixture.server.mid(fixture.server.indexOf("dbname=") + 7).split(' ').constFirst();
    if (failure == u"down") {
        QVERIFY(m_server.stop());
    } else if (failure == u"stopped") {
        fixture.indexOpened = [this] { QVERIFY(m_server.stop()); };
    } else if (failure == u"locked") {
        // the run reads the list of folders, then waits for the first record
        lock.emplace(fixture.server, "spurwerk_records");
    } else if (failure == u"newer") {
        QVERIFY(m_server.execute(database, "UPDATE spurwerk_layout SET version = version + 1"));
    } else if (failure == u"older") {
        QVERIFY(m_server.execute(database, "UPDATE spurwerk_layout SET version = 1; "
                                           "DROP TABLE spurwerk_files"));
    } else if (failure == u"no rights") {
        QVERIFY(m_server.execute(database, "CREATE ROLE stranger LOGIN"));
        fixture.server = m_server.connection(database, "stranger");
    }
    IndexReport report;
    const RunAnswer indexed = fixture.run(text, true, &report);
    QCOMPARE(indexed, scanned);
    QCOMPARE(report.office.used, officeUsed);
    QCOMPARE(officeUsed ? report.reason : report.office.reason, reason);
    if (failure == u"no rights")
        QVERIFY2(m_server.execute(database, "DROP ROLE stranger"), qPrintable(m_server.problem()));
    if (failure == u"older") {
        // the indexer writes the layout anew, and then the office index answers
        fixture.update();
        QCOMPARE(fixture.run(text, true, &report), scanned);
        QVERIFY(report.office.used);
    }
}

// The desktops' role may read the index and nothing else: an update through it fails and
// changes nothing, and it still answers a run.
void tst_OfficeIndex::readOnlyRoleCannotWrite()
{
    IndexFixture &fixture = *m_fixture;
    fixture.update();
    const QByteArray database = fixture.server.mid(fixture.server.indexOf("dbname=") + 7);
    QVERIFY2(m_server.execute(database, "CREATE ROLE desktop LOGIN; "
                                        "GRANT SELECT ON ALL TABLES IN SCHEMA public TO desktop"),
             qPrintable(m_server.problem()));
    const QByteArray reader = m_server.connection(database, "desktop");
    fixture.tree.addFile("a/neu.asm.1", "WELLE_08151");
    {
        PostgresStore store(reader, PostgresStore::Mode::Write);
        QVERIFY_THROWS_EXCEPTION(
            IndexError, IndexUpdate(store, {}).update(canonicalFolder(fixture.tree.root())));
    }
    PostgresStore check(fixture.server, PostgresStore::Mode::Read);
    QCOMPARE(check.filesIn(canonicalFolder(fixture.tree.path("a"))).files().size(), 4);

    fixture.server = reader;
    IndexReport report;
    QCOMPARE(fixture.run(u"WELLE_08151"_s, true, &report), fixture.run(u"WELLE_08151"_s, false));
    QVERIFY(report.office.used);
    QCOMPARE(report.reason, IndexReport::Reason::Answered);
    m_server.execute(database, "DROP OWNED BY desktop; DROP ROLE desktop");
}

void tst_OfficeIndex::selectionHoldsExactlyTheRunsWithANeedle_data()
{
    QTest::addColumn<QByteArrayList>("needles"); // none: every file
    QTest::addColumn<bool>("subfolders");
    // before the question: "forget" the subfolder, or "rewrite" the folder through the same
    // connection, which then sends only what changed
    QTest::addColumn<QString>("then");
    // "folder/name state needles"
    QTest::addColumn<QByteArrayList>("selected");
    QTest::addColumn<QByteArray>("pattern"); // of the names
    const QByteArray any = "*";
    const QByteArrayList always = {"/r/always.asm.1 1 ", "/r/new.asm.1 2 "};
    QTest::addRow("a whole name, with subfolders")
        << QByteArrayList{"WELLE_0815"} << true << QString()
        << always + QByteArrayList{"/r/w.asm.1 0 0", "/r/sub/s.asm.1 0 0"} << any;
    QTest::addRow("the subfolder taken out") << QByteArrayList{"WELLE_0815"} << true << u"forget"_s
                                             << always + QByteArrayList{"/r/w.asm.1 0 0"} << any;
    QTest::addRow("the folder rewritten")
        << QByteArrayList{"WELLE_0815"} << true << u"rewrite"_s
        << QByteArrayList{"/r/always.asm.1 1 ", "/r/y.asm.1 0 0", "/r/sub/s.asm.1 0 0"} << any;
    QTest::addRow("without subfolders") << QByteArrayList{"WELLE_0815"} << false << QString()
                                        << always + QByteArrayList{"/r/w.asm.1 0 0"} << any;
    QTest::addRow("two needles, a name beyond UTF-8")
        << QByteArrayList{"HUB_12", "WELLE"} << false << QString()
        << QByteArrayList{"/r/always.asm.1 1 ", "/r/dash.asm.1 0 1", "/r/near.asm.1 0 1",
                          "/r/new.asm.1 2 ",    "/r/slot.asm.1 0 1", "/r/split.asm.1 0 1",
                          "/r/w.asm.1 0 1",     "/r/x.asm.1 0 1",    "/r/\xe4.asm.1 0 0,1"}
        << any;
    QTest::addRow("needles a gram long, letter case")
        << QByteArrayList{"0815", "elle"} << false << QString()
        << QByteArrayList{"/r/always.asm.1 1 ", "/r/dash.asm.1 0 0", "/r/lower.asm.1 0 0,1",
                          "/r/near.asm.1 0 0",  "/r/new.asm.1 2 ",   "/r/slot.asm.1 0 0",
                          "/r/split.asm.1 0 0", "/r/w.asm.1 0 0",    "/r/x.asm.1 0 0"}
        << any;
    QTest::addRow("a needle nobody holds")
        << QByteArrayList{"LAGER"} << true << QString() << always << any;
    QTest::addRow("every file") << QByteArrayList{} << false << QString()
                                << QByteArrayList{"/r/always.asm.1 1 ", "/r/dash.asm.1 0 ",
                                                  "/r/lower.asm.1 0 ",  "/r/near.asm.1 0 ",
                                                  "/r/new.asm.1 2 ",    "/r/slot.asm.1 0 ",
                                                  "/r/split.asm.1 0 ",  "/r/w.asm.1 0 ",
                                                  "/r/x.asm.1 0 ",      "/r/\xe4.asm.1 0 "}
                                << any;
    // of another type, only the names beyond ASCII, which the desktop matches by characters
    QTest::addRow("a type the names lack")
        << QByteArrayList{"WELLE"} << false << QString() << QByteArrayList{"/r/\xe4.asm.1 0 0"}
        << QByteArray("*.prt*");
    QTest::addRow("a part of names in capitals")
        << QByteArrayList{} << false << QString()
        << QByteArrayList{"/r/new.asm.1 2 ", "/r/w.asm.1 0 ", "/r/\xe4.asm.1 0 "}
        << QByteArray("*W.ASM*");
    QTest::addRow("a pattern not of the form *text*")
        << QByteArrayList{"WELLE_0815"} << false << QString()
        << always + QByteArrayList{"/r/w.asm.1 0 0"} << QByteArray("w.*");
}

// The server selects a file by the needles its runs hold: each whole within one run, with its
// letter case, "_" as itself; and every file that searches read, whatever it holds. Near misses
// of WELLE_0815 hold all its grams: "-" for "_", in two runs, in two runs of one gram slot.
void tst_OfficeIndex::selectionHoldsExactlyTheRunsWithANeedle()
{
    QFETCH(QByteArrayList, needles);
    QFETCH(bool, subfolders);
    QFETCH(QString, then);
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArrayList, selected);
    const auto file = [](const QByteArray &name, const QByteArray &runs,
                         FileState state = FileState::Recorded) {
        return RecordedFile{name, {}, state, runs};
    };
    QByteArray slotRuns = "WELLE_081\n";
    for (int run = 1; run < gramSlots; ++run)
        slotRuns += "xx" + QByteArray::number(run + 10) + '\n';
    slotRuns += "ELLE_0815\n";
    PostgresStore store(m_fixture->server, PostgresStore::Mode::Write);
    store.beginBatch();
    store.putFilesIn(
        "/r", {file("always.asm.1", {}, FileState::AlwaysRead), file("dash.asm.1", "WELLE-0815\n"),
               file("lower.asm.1", "welle_0815\n"), file("near.asm.1", "WELLE_081\nELLE_0815\n"),
               file("new.asm.1", {}, FileState::Unsettled), file("slot.asm.1", slotRuns),
               file("split.asm.1", "WELLE\n0815\n"), file("w.asm.1", "xx12\nWELLE_0815\n"),
               file("x.asm.1", "WELLEX0815\n"), file("\xe4.asm.1", "HUB_12\nWELLE\n")});
    store.putFilesIn("/r/sub", {file("s.asm.1", "WELLE_0815\n")});
    // sorts between "/r" and "/r/": not under "/r"
    store.putFilesIn("/r-2", {file("o.asm.1", "WELLE_0815\n")});
    store.commitBatch();
    if (then == u"forget")
        store.removeFolder("/r/sub", true);
    if (then == u"rewrite") {
        // one removed, one changed to hold nothing, one settled, one added
        store.beginBatch();
        store.putFilesIn("/r",
                         {file("always.asm.1", {}, FileState::AlwaysRead),
                          file("lower.asm.1", "welle_0815\n"), file("new.asm.1", "xx12\n"),
                          file("split.asm.1", "WELLE\n0815\n"), file("w.asm.1", "xx12\n"),
                          file("y.asm.1", "WELLE_0815\n"), file("\xe4.asm.1", "HUB_12\nWELLE\n")});
        store.commitBatch();
    }
    const QList<StoreSelection::File> files =
        needles.isEmpty() ? store.everyFile("/r", subfolders, pattern)
                          : store.filesHolding("/r", subfolders, pattern, needles);
    QByteArrayList found;
    for (const StoreSelection::File &each : files) {
        QByteArrayList held;
        for (const qsizetype needle : each.needles)
            held.append(QByteArray::number(needle));
        found.append(each.folder + '/' + each.name + ' ' + QByteArray::number(int(each.state)) +
                     ' ' + held.join(','));
    }
    QCOMPARE(found, selected);
}

Finished tst_OfficeIndex::find(const QStringList &options, const QString &text) const
{
    QProcess process;
    process.start(QStringLiteral(SPURWERK_FIND_PATH),
                  options + QStringList{u"--index-db"_s, QString::fromUtf8(m_fixture->server), text,
                                        QFile::decodeName(m_fixture->tree.root())});
    process.waitForFinished(30000);
    QByteArrayList hits = process.readAllStandardOutput().split('\n');
    hits.removeAll(QByteArray());
    for (QByteArray &hit : hits)
        hit = hit.sliced(m_fixture->tree.root().size() + 1);
    std::sort(hits.begin(), hits.end());
    return {hits, process.readAllStandardError(), process.exitCode()};
}

void tst_OfficeIndex::startIndexer()
{
    m_indexer = std::make_unique<QProcess>();
    m_indexer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_indexer->start(QStringLiteral(SPURWERK_INDEXD_PATH),
                     {u"--db"_s, QString::fromUtf8(m_fixture->server),
                      QFile::decodeName(m_fixture->tree.root())});
    QVERIFY(m_indexer->waitForStarted());
    // current once it has swept the tree and says it runs
    QTRY_VERIFY_WITH_TIMEOUT(find({u"--from-index"_s}, u"WELLE_08151"_s).err.contains("caught up"),
                             20000);
}

void tst_OfficeIndex::indexerWritesEachChangeWithinTheDeadline_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("change");
    QTest::addColumn<QByteArrayList>("hits");
    const QByteArrayList before = {"a/teil_1.asm.1", "a/teil_3.asm.1", "b/teil_1.asm.1",
                                   "b/teil_3.asm.1", "c/teil_1.asm.1", "c/teil_3.asm.1"};
    const auto with = [&](QByteArrayList added, QByteArrayList removed = {}) {
        added += before;
        for (const QByteArray &file : removed)
            added.removeAll(file);
        std::sort(added.begin(), added.end());
        return added;
    };
    QTest::addRow("a file saved in a new folder")
        << QByteArray() << QByteArray("add a/x/neu.asm.1") << with({"a/x/neu.asm.1"});
    QTest::addRow("a file changed")
        << QByteArray() << QByteArray("write a/teil_2.asm.1") << with({"a/teil_2.asm.1"});
    QTest::addRow("a file removed")
        << QByteArray() << QByteArray("remove b/teil_1.asm.1") << with({}, {"b/teil_1.asm.1"});
    QTest::addRow("a folder removed")
        << QByteArray() << QByteArray("remove c") << with({}, {"c/teil_1.asm.1", "c/teil_3.asm.1"});
    QTest::addRow("a file moved over one in another folder")
        << QByteArray() << QByteArray("rename a/teil_1.asm.1 b/teil_0.asm.1")
        << with({"b/teil_0.asm.1"}, {"a/teil_1.asm.1"});
    QTest::addRow("a file changed that a link beside it leads to")
        << QByteArray("symlink teil_2.asm.1 a/verweis.asm.1") << QByteArray("write a/teil_2.asm.1")
        << with({"a/teil_2.asm.1", "a/verweis.asm.1"});
    QTest::addRow("a file changed that has another name beside it")
        << QByteArray("hardlink a/teil_2.asm.1 a/zweit.asm.1") << QByteArray("write a/teil_2.asm.1")
        << with({"a/teil_2.asm.1", "a/zweit.asm.1"});
}

void tst_OfficeIndex::change(const QByteArray &step)
{
    const QByteArrayList words = step.split(' ');
    const QByteArray &what = words.at(0);
    const QByteArray path = m_fixture->tree.path(words.at(1));
    if (what == "add" || what == "write")
        m_fixture->tree.addFile(words.at(1), "zz WELLE_08151 zz");
    else if (what == "remove")
        removeFolderTree(path);
    else if (what == "rename")
        QCOMPARE(::rename(path, m_fixture->tree.path(words.at(2))), 0);
    else if (what == "symlink")
        QCOMPARE(::symlink(words.at(1), m_fixture->tree.path(words.at(2))), 0);
    else if (what == "hardlink")
        QCOMPARE(::link(path, m_fixture->tree.path(words.at(2))), 0);
}

// A change on the server is in the office index's answer alone within 2 s.
void tst_OfficeIndex::indexerWritesEachChangeWithinTheDeadline()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, change);
    QFETCH(QByteArrayList, hits);
    if (!before.isEmpty())
        this->change(before);
    startIndexer();
    this->change(change);
    QTRY_COMPARE_WITH_TIMEOUT(find({u"--from-index"_s}, u"WELLE_08151"_s).hits, hits, 2000);
    QCOMPARE(find({u"--no-index"_s}, u"WELLE_08151"_s).hits, hits);
    // current once the last folder told of is written
    QTRY_VERIFY_WITH_TIMEOUT(find({}, u"WELLE_08151"_s).err.contains("without walking"), 2000);
    QCOMPARE(find({}, u"WELLE_08151"_s).hits, hits);
}

// With the server away, a run answers as before and says why it walked; back, the indexer
// catches up with what changed meanwhile.
void tst_OfficeIndex::indexerCatchesUpAfterTheServerWasAway()
{
    startIndexer();
    const Finished current = find({}, u"WELLE_08151"_s);
    QVERIFY2(current.err.contains("answered with the office index"), current.err);
    QVERIFY(m_server.stop());
    const Finished away = find({}, u"WELLE_08151"_s);
    QCOMPARE(away.hits, current.hits);
    QVERIFY2(away.err.contains("office index not used"), away.err);

    m_fixture->tree.addFile("b/spaet.asm.1", "WELLE_08151");
    QVERIFY2(m_server.start(), qPrintable(m_server.problem()));
    QByteArrayList hits = current.hits;
    hits.insert(2, "b/spaet.asm.1");
    QTRY_COMPARE_WITH_TIMEOUT(find({u"--from-index"_s}, u"WELLE_08151"_s).hits, hits, 10000);
}

void tst_OfficeIndex::currentIndexerSparesTheWalk_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("walked");
    QTest::addRow("a whole name") << u"WELLE_08151"_s << u"*"_s << false;
    QTest::addRow("a whole name, in files of one type") << u"WELLE_08151"_s << u"asm"_s << false;
    QTest::addRow("a part of names") << u"LLE_0815"_s << u"asm"_s << false;
    QTest::addRow("a text the runs cannot answer exactly") << u"xx WELLE"_s << u"*"_s << false;
    QTest::addRow("a text too short for the index") << u"xx"_s << u"asm"_s << true;
}

// With its indexer current, a search reads only the files the office index names, and finds
// what the scan finds: also a file that cannot be read, and files the runs cannot decide. With
// the indexer behind or sweeping, it walks.
void tst_OfficeIndex::currentIndexerSparesTheWalk()
{
    QFETCH(QString, text);
    QFETCH(QString, type);
    QFETCH(bool, walked);
    m_fixture->tree.addFile("b/verschlossen.asm.1", "xx WELLE_08151 yy");
    ::chmod(m_fixture->tree.path("b/verschlossen.asm.1").constData(), 0);
    // the type in capitals, and another type
    m_fixture->tree.addFile("c/GROSS.ASM.2", "xx WELLE_08151 yy");
    m_fixture->tree.addFile("c/teil_1.drw.1", "xx WELLE_08151 yy");
    startIndexer();
    const QStringList typed{u"--type"_s, type};
    const Finished scanned = find(typed + QStringList{u"--no-index"_s}, text);
    QCOMPARE(scanned.hits.contains("c/teil_1.drw.1"), type == u"*");
    QVERIFY(scanned.hits.contains("c/GROSS.ASM.2"));
    const Finished current = find(typed, text);
    QCOMPARE(current.hits, scanned.hits);
    QCOMPARE(current.err.contains("without walking"), !walked);
    QCOMPARE(current.err.contains("verschlossen"), scanned.err.contains("verschlossen"));

    cleanup();
    const QByteArray database =
        m_fixture->server.mid(m_fixture->server.indexOf("dbname=") + 7).split(' ').constFirst();
    // a sweep under way: the records may not hold every file yet
    QVERIFY(m_server.execute(database, "UPDATE spurwerk_folders SET complete = false"));
    const Finished sweeping = find(typed, text);
    QCOMPARE(sweeping.hits, scanned.hits);
    QVERIFY2(!sweeping.err.contains("without walking"), sweeping.err);
    QVERIFY(m_server.execute(database, "UPDATE spurwerk_folders SET complete = true; "
                                       "UPDATE spurwerk_watches SET "
                                       "pending_since = clock_timestamp()"));
    const Finished behind = find(typed, text);
    QCOMPARE(behind.hits, scanned.hits);
    QVERIFY2(!behind.err.contains("without walking"), behind.err);
}

void tst_OfficeIndex::currentIndexerSparesTheWalkOfEveryRun_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("levels");
    QTest::addRow("one level") << u"WELLE_08151"_s << 1;
    QTest::addRow("levels, as the windows run") << u"WELLE_08151"_s << 4;
    QTest::addRow("levels of a text the runs cannot answer exactly") << u"xx WELLE"_s << 4;
}

// The windows and the levels, too, take their candidates from a current office index: the same
// hits at every level and the same unread files as a walk, in the index's order.
void tst_OfficeIndex::currentIndexerSparesTheWalkOfEveryRun()
{
    QFETCH(QString, text);
    QFETCH(int, levels);
    // level 2 uses teil_1, level 3 uses oben; one that cannot be read names teil_3
    m_fixture->tree.addFile("a/x/oben.asm.1", "zz TEIL_1 zz");
    m_fixture->tree.addFile("c/spitze.asm.2", "OBEN");
    m_fixture->tree.addFile("b/zu.asm.1", "TEIL_3");
    ::chmod(m_fixture->tree.path("b/zu.asm.1").constData(), 0);
    startIndexer();
    const auto sorted = [](RunAnswer answer) {
        std::sort(answer.hits.begin(), answer.hits.end());
        std::sort(answer.notRead.begin(), answer.notRead.end());
        return std::pair(answer.hits, answer.notRead);
    };
    IndexReport report;
    const RunAnswer current = m_fixture->run(text, true, &report, levels);
    QVERIFY(report.withoutWalk);
    const RunAnswer scanned = m_fixture->run(text, false, nullptr, levels);
    QVERIFY(scanned.hits.size() > 3);
    QCOMPARE(sorted(current), sorted(scanned));
}

// A server that does not answer in time while --from-index asks which files hold the text: the
// answer is not "nothing found".
void tst_OfficeIndex::answerAloneFailingIsTrouble()
{
    m_fixture->update();
    QCOMPARE(find({u"--from-index"_s}, u"WELLE_08151"_s).exitCode, 0);
    const HeldLock lock(m_fixture->server, "spurwerk_files");
    const Finished failed = find({u"--from-index"_s}, u"WELLE_08151"_s);
    QVERIFY(failed.hits.isEmpty());
    QCOMPARE(failed.exitCode, 2);
    QVERIFY2(failed.err.contains("cannot answer from the index"), failed.err);
}

// An indexer sweeping a folder for the first time has not caught up with it: desktops must not be
// told it has. A later sweep keeps the time it last caught up.
void tst_OfficeIndex::watchTellsOnlyWhatTheIndexerCaughtUpWith()
{
    PostgresStore store(m_fixture->server, PostgresStore::Mode::Write);
    const QByteArray root = canonicalFolder(m_fixture->tree.root());
    store.putWatch(root, false);
    QVERIFY(store.watches().isEmpty());
    store.putWatch(root, true);
    QCOMPARE(store.watches().size(), 1);
    const qint64 caughtUp = store.watches().constFirst().caughtUpAgeMs;
    QTRY_VERIFY(store.watches().constFirst().caughtUpAgeMs > caughtUp);
    store.putWatch(root, false);
    QVERIFY(store.watches().constFirst().caughtUpAgeMs > caughtUp);
}

// An indexer that stops (hung, or held by a debugger) takes in no notice: a run walks at once,
// as the indexer does not answer, and still once its heartbeat is old.
void tst_OfficeIndex::stoppedIndexerIsNotTrusted()
{
    const QString text = u"WELLE_08151"_s;
    startIndexer();
    QCOMPARE(::kill(pid_t(m_indexer->processId()), SIGSTOP), 0);
    m_fixture->tree.addFile("b/spaet.asm.1", "xx WELLE_08151 yy");
    const Finished scanned = find({u"--no-index"_s}, text);
    QVERIFY(scanned.hits.contains("b/spaet.asm.1"));
    const Finished unanswered = find({}, text);
    QCOMPARE(unanswered.hits, scanned.hits);
    QVERIFY2(!unanswered.err.contains("without walking"), unanswered.err);
    QTRY_VERIFY_WITH_TIMEOUT(find({}, text).err.contains("no indexer watches the folders now"),
                             2 * heartbeatLimitMs);
    QCOMPARE(find({}, text).hits, scanned.hits);
}

// A file saved a moment before a run: its notice has come, so the run answers with the file or
// walks. Saved again and again, to meet the indexer at every step of its round.
void tst_OfficeIndex::fileSavedJustBeforeARunIsFound()
{
    startIndexer();
    // as a desktop asks: a role that may only read
    const QByteArray database =
        m_fixture->server.mid(m_fixture->server.indexOf("dbname=") + 7).split(' ').constFirst();
    QVERIFY2(m_server.execute(database, "CREATE ROLE desktop LOGIN; "
                                        "GRANT SELECT ON ALL TABLES IN SCHEMA public TO desktop"),
             qPrintable(m_server.problem()));
    const auto dropRole = qScopeGuard(
        [&] { m_server.execute(database, "DROP OWNED BY desktop; DROP ROLE desktop"); });
    m_fixture->server = m_server.connection(database, "desktop");
    for (int save = 0; save < 20; ++save) {
        const QByteArray name = "c/neu_" + QByteArray::number(save) + ".asm.1";
        m_fixture->tree.addFile(name, "xx WELLE_08151 yy");
        IndexReport report;
        const RunAnswer answer = m_fixture->run(u"WELLE_08151"_s, true, &report);
        QVERIFY2(answer.hits.contains(name),
                 (name + (report.withoutWalk ? " missed without walking" : " missed")).constData());
    }
    // and once every save is written, the indexer's answer spares the walk
    IndexReport report;
    QTRY_VERIFY_WITH_TIMEOUT((m_fixture->run(u"WELLE_08151"_s, true, &report), report.withoutWalk),
                             5000);
}

// A folder deeper than the kernel takes a path to, made while the indexer runs: watched through
// its descriptor, recorded, and a later change to it seen.
void tst_OfficeIndex::longPathMadeWhileTheIndexerRunsIsRecorded()
{
    const QString text = u"WELLE_08151"_s;
    startIndexer();
    const QByteArray deep = m_fixture->tree.addDeepFolder("a/tief");
    const QByteArray file =
        deep.sliced(m_fixture->tree.root().size() + 1) + '/' + QByteArray(200, 'z') + "/lang.asm.1";
    m_fixture->tree.addFile(file, "xx WELLE_08151 yy");
    QVERIFY(m_fixture->tree.path(file).size() > 4300);
    QTRY_VERIFY_WITH_TIMEOUT(find({u"--from-index"_s}, text).hits.contains(file), 5000);
    const Finished spared = find({}, text);
    QVERIFY(spared.hits.contains(file));
    QVERIFY2(spared.err.contains("without walking"), spared.err);
    m_fixture->tree.addFile(file, "xx nichts yy");
    QTRY_VERIFY_WITH_TIMEOUT(!find({u"--from-index"_s}, text).hits.contains(file), 5000);
    QCOMPARE(find({}, text).hits, find({u"--no-index"_s}, text).hits);
}

void tst_OfficeIndex::folderNoNoticeCoversIsReadByEveryRun_data()
{
    // the folder, relative to the tree, and whether the indexer finds it at its start
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<bool>("atStart");
    QTest::addColumn<QString>("reason");
    QTest::addRow("the kernel refused to watch it")
        << QByteArray("b/verboten") << true << u"refused to watch"_s;
    QTest::addRow("reached through a link outside")
        << QByteArray("a/draussen") << true << u"outside the watched"_s;
    QTest::addRow("reached through a link made later")
        << QByteArray("a/draussen") << false << u"outside the watched"_s;
    // names that do not compress, to a path longer than the server's index takes
    QRandomGenerator random(4711);
    QByteArray unstorable = "c";
    while (unstorable.size() < 3000) {
        QByteArray name(240, Qt::Uninitialized);
        for (char &byte : name)
            byte = char('a' + random.bounded(26));
        unstorable += '/' + name;
    }
    QTest::addRow("a path the server cannot hold") << unstorable << true << u"cannot hold"_s;
}

// A folder whose changes no notice tells of, or whose records the server cannot hold: changed
// while desktops ask, their answer is the scan's, as they walk that folder (and only that one),
// and the answer from the index alone names it and claims no more.
void tst_OfficeIndex::folderNoNoticeCoversIsReadByEveryRun()
{
    QFETCH(QByteArray, folder);
    QFETCH(bool, atStart);
    QFETCH(QString, reason);
    const QString text = u"WELLE_08151"_s;
    const QTemporaryDir outside;
    const QByteArray link = m_fixture->tree.path(folder);
    const bool linked = folder.endsWith("draussen");
    const QByteArray changed = linked ? outside.path().toLocal8Bit() : link;
    const auto makeFolder = [&] {
        if (linked)
            QCOMPARE(::symlink(changed.constData(), link.constData()), 0);
        else
            m_fixture->tree.addFile(folder + "/alt.asm.1", "xx WELLE_08151 yy");
    };
    if (atStart)
        makeFolder();
    const IndexerThread indexer(m_fixture->server, m_fixture->tree.root());
    const auto sorted = [](QByteArrayList hits) {
        std::sort(hits.begin(), hits.end());
        return hits;
    };
    IndexReport report;
    QTRY_VERIFY_WITH_TIMEOUT((m_fixture->run(text, true, &report), report.withoutWalk), 20000);
    if (!atStart)
        makeFolder();

    QFile added(QFile::decodeName(changed + "/neu.asm.1"));
    QVERIFY(added.open(QIODevice::WriteOnly));
    added.write("zz WELLE_08151 zz");
    added.close();
    const QByteArrayList asked = sorted(m_fixture->run(text, true, &report).hits);
    const QByteArrayList scanned = sorted(m_fixture->run(text, false).hits);
    QVERIFY(scanned.contains(folder + "/neu.asm.1"));
    QCOMPARE(asked, scanned);
    QTRY_VERIFY_WITH_TIMEOUT((m_fixture->run(text, true, &report), report.withoutWalk), 5000);
    QCOMPARE(sorted(m_fixture->run(text, true, &report).hits), scanned);
    QVERIFY(report.withoutWalk);
    QCOMPARE(report.walkedAnyway, 1);

    const Finished alone = find({u"--from-index"_s}, text);
    QCOMPARE(alone.exitCode, 2);
    QVERIFY2(alone.err.contains(m_fixture->tree.path(folder) + ": not answered from the index") &&
                 alone.err.contains(reason.toUtf8()),
             alone.err);
    QVERIFY2(!indexer.log().filter(reason).isEmpty(), qPrintable(indexer.log().join(u'\n')));
}

void tst_OfficeIndex::indexerWithoutTheRightToWriteSaysSoOnce_data()
{
    QTest::addColumn<bool>("tablesMade");
    QTest::addColumn<QString>("grant");
    QTest::addRow("the tables made, not to be written")
        << true
        << u"GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO "
           "stranger"_s;
    QTest::addRow("no tables, none to be made")
        << false << u"GRANT CREATE ON SCHEMA public TO stranger"_s;
}

// A role that may not write: the indexer says once which right it lacks and how it is given,
// tries again quietly, and goes on once an administrator gave the right as it said.
void tst_OfficeIndex::indexerWithoutTheRightToWriteSaysSoOnce()
{
    QFETCH(bool, tablesMade);
    QFETCH(QString, grant);
    if (tablesMade)
        m_fixture->update();
    const QByteArray database =
        m_fixture->server.mid(m_fixture->server.indexOf("dbname=") + 7).split(' ').constFirst();
    QVERIFY2(m_server.execute(database, "CREATE ROLE stranger LOGIN; GRANT SELECT ON ALL TABLES "
                                        "IN SCHEMA public TO stranger"),
             qPrintable(m_server.problem()));
    // roles outlive the database
    const auto dropRole = qScopeGuard(
        [&] { m_server.execute(database, "DROP OWNED BY stranger; DROP ROLE stranger"); });
    const auto sessions = [&] {
        PGconn *db = PQconnectdb(m_fixture->server.constData());
        PGresult *result =
            PQexec(db, "SELECT sessions FROM pg_stat_database WHERE datname = current_database()");
        const qint64 count = QByteArray(PQgetvalue(result, 0, 0)).toLongLong();
        PQclear(result);
        PQfinish(db);
        return count;
    };
    const auto lacking = [](const QStringList &log) {
        return log.filter(u"lacks the right to write"_s);
    };
    {
        const IndexerThread indexer(m_server.connection(database, "stranger"),
                                    m_fixture->tree.root(), 20);
        QTRY_COMPARE(lacking(indexer.log()).size(), 1);
        const QString said = lacking(indexer.log()).constFirst();
        QVERIFY2(said.contains(grant), qPrintable(said));
        const qint64 tried = sessions();
        QTRY_VERIFY(sessions() > tried + 5);
        QCOMPARE(lacking(indexer.log()).size(), 1);
        QCOMPARE(indexer.log().constLast(), said);
        QVERIFY2(m_server.execute(database, grant.toUtf8()), qPrintable(m_server.problem()));
        QTRY_VERIFY_WITH_TIMEOUT(indexer.log().contains(u"the office index is written again"_s),
                                 10000);
    }
}

QTEST_GUILESS_MAIN(tst_OfficeIndex)
#include "tst_office_index.moc"
