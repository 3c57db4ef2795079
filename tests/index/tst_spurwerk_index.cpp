#include "index/index_location.h"
#include "settings/settings_store.h"
#include "test_tree.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <optional>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

struct Finished
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The lines in the order of their bytes, and the names of a level's line too: --from-index
// gives the files of a level folder by folder, by name, instead of in the walk's order.
QByteArrayList sortedLines(const QByteArray &out)
{
    QByteArrayList lines = out.split('\n');
    for (QByteArray &line : lines) {
        QByteArrayList fields = line.split('\t');
        if (fields.size() == 3) {
            QByteArrayList names = fields.at(2).split(',');
            std::sort(names.begin(), names.end());
            fields[2] = names.join(',');
            line = fields.join('\t');
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

class tst_SpurwerkIndex : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void findUsesTheIndexAndAnswersFromItAlone();
    void killedUpdateLeavesTheScansAnswer();
    void secondUpdateWaitsForTheFirst();
    void longPathThroughUpdatesAndFromIndex();
    void damagedRecordIsToldOnce();
    void timerUpdatesOnlyTheFoldersIndexedBefore();
    void unwritableCacheIsNamedAsSuch();

private:
    QProcessEnvironment environment() const;
    Finished run(const char *program, const QStringList &arguments) const;
    void fillTree(int files, int bytes);

    std::optional<QTemporaryDir> m_cache;
    std::optional<TestTree> m_tree;
};

void tst_SpurwerkIndex::init()
{
    m_cache.emplace();
    m_tree.emplace();
}

QProcessEnvironment tst_SpurwerkIndex::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_cache->path());
    return environment;
}

Finished tst_SpurwerkIndex::run(const char *program, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QString::fromLocal8Bit(program), arguments);
    if (!process.waitForFinished(120000))
        qFatal("%s did not finish", program);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void tst_SpurwerkIndex::fillTree(int files, int bytes)
{
    QRandomGenerator random(3);
    for (int i = 0; i < files; ++i) {
        QByteArray content(bytes, Qt::Uninitialized);
        for (char &byte : content)
            byte = char(random.bounded(256));
        content += i % 5 == 0 ? " WELLE_0815 " : " MOTOR_63 ";
        const QByteArray name = (i % 5 == 0 ? "getriebe_" : "teil_") + QByteArray::number(i);
        m_tree->addFile("d" + QByteArray::number(i % 10) + "/" + name + ".asm.1", content);
    }
    // where the getriebe files of level 1 are used, and where those are
    for (int i = 0; i < files; i += 5) {
        m_tree->addFile("top/anlage_" + QByteArray::number(i) + ".asm",
                        "\1GETRIEBE_" + QByteArray::number(i) + "\2");
        m_tree->addFile("top/werk_" + QByteArray::number(i) + ".asm",
                        "ANLAGE_" + QByteArray::number(i));
    }
}

// spurwerk-find answers as a scan, says that the index answered, and with --from-index gives the
// same files (folder by folder, by name) and levels without reading them; a folder the index
// forgot is searched without it, and spurwerk-find says so.
void tst_SpurwerkIndex::findUsesTheIndexAndAnswersFromItAlone()
{
    fillTree(200, 300);
    const QString root = QString::fromLocal8Bit(m_tree->root());
    QCOMPARE(run(SPURWERK_INDEX_PATH, {u"update"_s, u"--settle"_s, u"0"_s, root}).exitCode, 0);
    const Finished status = run(SPURWERK_INDEX_PATH, {u"status"_s});
    QVERIFY(status.out.contains(canonicalFolder(m_tree->root()) + "\t"));

    const Finished scanned = run(SPURWERK_FIND_PATH, {u"--no-index"_s, u"WELLE_0815"_s, root});
    QCOMPARE(scanned.err, QByteArray());
    const Finished indexed = run(SPURWERK_FIND_PATH, {u"WELLE_0815"_s, root});
    QCOMPARE(indexed.out, scanned.out);
    QCOMPARE(indexed.exitCode, 0);
    QVERIFY2(indexed.err.contains("answered with the index of"), indexed.err);
    QVERIFY2(indexed.err.contains(": 0 files read, 280 passed over"), indexed.err);

    const Finished alone = run(SPURWERK_FIND_PATH, {u"--from-index"_s, u"WELLE_0815"_s, root});
    QCOMPARE(sortedLines(alone.out), sortedLines(scanned.out));
    QVERIFY2(alone.err.contains("answered from the index alone"), alone.err);

    const QStringList levels{u"--levels"_s, u"3"_s, u"--type"_s, u"asm"_s, u"WELLE_0815"_s, root};
    const Finished levelsScanned = run(SPURWERK_FIND_PATH, QStringList{u"--no-index"_s} + levels);
    const Finished levelsIndexed = run(SPURWERK_FIND_PATH, levels);
    QCOMPARE(levelsIndexed.out, levelsScanned.out);
    const Finished levelsAlone = run(SPURWERK_FIND_PATH, QStringList{u"--from-index"_s} + levels);
    QCOMPARE(sortedLines(levelsAlone.out), sortedLines(levelsScanned.out));
    QVERIFY(levelsScanned.out.contains("\n3\t"));

    const Finished tooShort = run(SPURWERK_FIND_PATH, {u"--from-index"_s, u"WE"_s, root});
    QCOMPARE(tooShort.exitCode, 2);
    QVERIFY2(tooShort.err.contains("cannot answer from the index"), tooShort.err);

    QCOMPARE(run(SPURWERK_INDEX_PATH, {u"forget"_s, root}).exitCode, 0);
    const Finished forgotten = run(SPURWERK_FIND_PATH, {u"WELLE_0815"_s, root});
    QCOMPARE(forgotten.out, scanned.out);
    QVERIFY2(forgotten.err.contains("index not used: a folder is not indexed"), forgotten.err);
}

// An update killed at some moment keeps what it committed: the search gives the scan's answer,
// and the next update goes on and says that the one before did not finish.
void tst_SpurwerkIndex::killedUpdateLeavesTheScansAnswer()
{
    fillTree(20000, 1000);
    const QString root = QString::fromLocal8Bit(m_tree->root());
    QProcess update;
    update.setProcessEnvironment(environment());
    update.start(QStringLiteral(SPURWERK_INDEX_PATH), {u"update"_s, u"--settle"_s, u"0"_s, root});
    const QString wal = m_cache->path() + QStringLiteral("/spurwerk/index.sqlite-wal");
    // killed once it has written a batch of files, somewhere in the next
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo(wal).size() > 64 * 1024 || update.state() == QProcess::NotRunning, 60000);
    update.kill();
    QVERIFY(update.waitForFinished(60000));
    QCOMPARE(update.exitStatus(), QProcess::CrashExit);

    const Finished scanned = run(SPURWERK_FIND_PATH, {u"--no-index"_s, u"WELLE_0815"_s, root});
    const Finished indexed = run(SPURWERK_FIND_PATH, {u"WELLE_0815"_s, root});
    QCOMPARE(indexed.out, scanned.out);
    const Finished alone = run(SPURWERK_FIND_PATH, {u"--from-index"_s, u"WELLE_0815"_s, root});
    QCOMPARE(alone.exitCode, 2);
    QVERIFY2(alone.err.contains("did not finish"), alone.err);

    const Finished next = run(SPURWERK_INDEX_PATH, {u"update"_s, u"--settle"_s, u"0"_s, root});
    QCOMPARE(next.exitCode, 0);
    QVERIFY2(next.err.contains("the update before did not finish"), next.err);
    const Finished answered = run(SPURWERK_FIND_PATH, {u"WELLE_0815"_s, root});
    QCOMPARE(answered.out, scanned.out);
    QVERIFY2(answered.err.contains("answered with the index"), answered.err);
}

void tst_SpurwerkIndex::secondUpdateWaitsForTheFirst()
{
    fillTree(20, 100);
    QProcess second;
    std::optional<UpdateLock> first;
    first.emplace(QFile::encodeName(m_cache->path()) + "/spurwerk/index.sqlite");
    QVERIFY(first->tryLock());
    second.setProcessEnvironment(environment());
    second.start(QStringLiteral(SPURWERK_INDEX_PATH),
                 {u"update"_s, QString::fromLocal8Bit(m_tree->root())});
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += second.readAllStandardError()).contains("another update"),
                             30000);
    QCOMPARE(second.state(), QProcess::Running);
    first.reset();
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitCode(), 0);
}

// A file under a path longer than the kernel takes at once keeps its record through every
// update, and the index answers for it as for any other.
void tst_SpurwerkIndex::longPathThroughUpdatesAndFromIndex()
{
    const QByteArray deep = m_tree->addDeepFolder("tief");
    m_tree->addFile(deep + "/teil.asm", "\1WELLE_0815\2");
    m_tree->addFile("flach.asm", "WELLE_0815");
    QVERIFY(m_tree->path(deep).size() > 4096);
    const QString root = QString::fromLocal8Bit(m_tree->root());
    const Finished scanned = run(SPURWERK_FIND_PATH, {u"--no-index"_s, u"WELLE_0815"_s, root});
    QCOMPARE(scanned.out.count('\n'), 2);
    for (int update = 1; update <= 2; ++update) {
        const Finished updated =
            run(SPURWERK_INDEX_PATH, {u"update"_s, u"--settle"_s, u"0"_s, root});
        QCOMPARE(updated.exitCode, 0);
        QVERIFY2(updated.err.contains(": 2 files,") && updated.err.contains(" 0 records of"),
                 updated.err);
        const Finished alone = run(SPURWERK_FIND_PATH, {u"--from-index"_s, u"WELLE_0815"_s, root});
        QCOMPARE(sortedLines(alone.out), sortedLines(scanned.out));
        QCOMPARE(alone.exitCode, 0);
        const Finished indexed = run(SPURWERK_FIND_PATH, {u"WELLE_0815"_s, root});
        QCOMPARE(indexed.out, scanned.out);
        QVERIFY2(indexed.err.contains("0 files read, 2 passed over"), indexed.err);
    }
}

// A folder's record cut short: spurwerk-find reads that folder's files, gives the scan's answer
// (from the index alone too) and says once that a record was damaged, until the next update.
void tst_SpurwerkIndex::damagedRecordIsToldOnce()
{
    fillTree(200, 300);
    const QString root = QString::fromLocal8Bit(m_tree->root());
    QCOMPARE(run(SPURWERK_INDEX_PATH, {u"update"_s, u"--settle"_s, u"0"_s, root}).exitCode, 0);
    sqlite3 *db = nullptr;
    sqlite3_open((QFile::encodeName(m_cache->path()) + "/spurwerk/index.sqlite").constData(), &db);
    QCOMPARE(sqlite3_exec(db,
                          "UPDATE records SET files = substr(files, 1, length(files) - 1) "
                          "WHERE CAST(folder AS TEXT) LIKE '%/d3'",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_changes(db), 1);
    sqlite3_close(db);

    const Finished scanned = run(SPURWERK_FIND_PATH, {u"--no-index"_s, u"WELLE_0815"_s, root});
    const Finished indexed = run(SPURWERK_FIND_PATH, {u"WELLE_0815"_s, root});
    QCOMPARE(indexed.out, scanned.out);
    QCOMPARE(indexed.exitCode, 0);
    QVERIFY2(indexed.err.count("damaged") == 1 && indexed.err.contains("20 files read"),
             indexed.err);
    const Finished alone = run(SPURWERK_FIND_PATH, {u"--from-index"_s, u"WELLE_0815"_s, root});
    QCOMPARE(sortedLines(alone.out), sortedLines(scanned.out));
    QCOMPARE(alone.exitCode, 0);
    QVERIFY2(alone.err.count("damaged") == 1, alone.err);

    QCOMPARE(run(SPURWERK_INDEX_PATH, {u"update"_s, u"--settle"_s, u"0"_s, root}).exitCode, 0);
    const Finished repaired = run(SPURWERK_FIND_PATH, {u"WELLE_0815"_s, root});
    QCOMPARE(repaired.out, scanned.out);
    QVERIFY2(!repaired.err.contains("damaged") && repaired.err.contains(": 0 files read"),
             repaired.err);
}

// The user timer's plain update indexes nothing on its own, and the path editor's default entry
// "/" is never taken from its saved list; a folder indexed by name is kept up to date.
void tst_SpurwerkIndex::timerUpdatesOnlyTheFoldersIndexedBefore()
{
    fillTree(10, 100);
    const QString index = m_cache->path() + u"/spurwerk/index.sqlite"_s;
    const Finished nothingIndexed = run(SPURWERK_INDEX_PATH, {u"update"_s});
    QCOMPARE(nothingIndexed.exitCode, 0);
    QVERIFY2(nothingIndexed.err.contains("no folder is indexed yet"), nothingIndexed.err);

    SettingsStore settings;
    settings.setFolderEntry(0, "/");
    settings.setValue(SettingsStore::Key::FolderLastIndex, u"0"_s);
    QVERIFY(settings.sync().saved());
    const Finished rootOnly = run(SPURWERK_INDEX_PATH, {u"update"_s, u"--editor-list"_s});
    QCOMPARE(rootOnly.exitCode, 0);
    QVERIFY2(rootOnly.err.contains("spurwerk-index: /: left out"), rootOnly.err);
    QVERIFY(!QFile::exists(index));

    const QString root = QString::fromLocal8Bit(m_tree->root());
    QCOMPARE(run(SPURWERK_INDEX_PATH, {u"update"_s, u"--settle"_s, u"0"_s, root}).exitCode, 0);
    m_tree->addFile("d0/neu.asm", "WELLE_0815");
    const Finished timer = run(SPURWERK_INDEX_PATH, {u"update"_s, u"--settle"_s, u"0"_s});
    QCOMPARE(timer.exitCode, 0);
    QVERIFY2(timer.err.contains(canonicalFolder(m_tree->root()) + ": 15 files, 1 read"), timer.err);
}

// A cache folder that cannot be written is no other update to wait for.
void tst_SpurwerkIndex::unwritableCacheIsNamedAsSuch()
{
    fillTree(1, 100);
    const QString notAFolder = m_cache->filePath(u"datei"_s);
    QVERIFY(QFile(notAFolder).open(QIODevice::WriteOnly));
    QProcess update;
    QProcessEnvironment environment = this->environment();
    environment.insert(u"XDG_CACHE_HOME"_s, notAFolder);
    update.setProcessEnvironment(environment);
    update.start(QStringLiteral(SPURWERK_INDEX_PATH),
                 {u"update"_s, QString::fromLocal8Bit(m_tree->root())});
    QVERIFY(update.waitForFinished(60000));
    QCOMPARE(update.exitCode(), 2);
    QCOMPARE(update.readAllStandardError(),
             "spurwerk-index: " + QFile::encodeName(notAFolder) +
                 "/spurwerk: the index's folder cannot be written: Not a directory\n");
}

QTEST_GUILESS_MAIN(tst_SpurwerkIndex)
#include "tst_spurwerk_index.moc"
