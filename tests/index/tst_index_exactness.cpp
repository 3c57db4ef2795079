#include "index_fixture.h"
#include "test_postgres.h"

#include "index/file_signature.h"

#include "platform/requests_in_flight.h"

#include <QDir>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The names the tree's files hold, as CAD files hold them, in both encodings.
const QByteArrayList heldNames = {"WELLE_0815", "GEH\xc3\x84USE_12", "GEH\xc4USE_12", "LAGER 7",
                                  "HUB",        "MOTOR_63"};

// Whole names, parts of names, names beyond ASCII, texts too short for the index and one with a
// byte it does not keep.
const QStringList searchTexts = {u"WELLE_0815"_s, u"LLE_08"_s, u"GEHÄUSE_12"_s, u"ÄUSE"_s,
                                 u"HUB"_s,        u"WE"_s,     u"LAGER 7"_s,    u"MOTOR_63"_s};

class TreeChanger
{
public:
    TreeChanger(TestTree &tree, quint32 seed)
        : m_tree(tree)
        , m_random(seed)
    {}

    // Files then also hold the names of others, so that where-used goes up levels, and a name
    // that "_" as a wildcard would match.
    void referToOthers() { m_references = true; }

    QByteArray content()
    {
        QByteArray bytes;
        const int size = int(m_random.bounded(20, 3000));
        for (int i = 0; i < size; ++i)
            bytes.append(char(m_random.bounded(256)));
        if (m_random.bounded(2) == 0) {
            const QByteArray name = heldNames.at(m_random.bounded(int(heldNames.size())));
            bytes.insert(m_random.bounded(bytes.size()), ' ' + name + ' ');
        }
        if (m_references && m_random.bounded(2) == 0) {
            const QByteArray name =
                m_random.bounded(4) == 0
                    ? QByteArray("WELLEX0815")
                    : "TEIL_" + QByteArray::number(m_random.bounded(m_next + 1));
            bytes.insert(m_random.bounded(bytes.size()), ' ' + name + ' ');
        }
        return bytes;
    }

    QByteArray anyFile()
    {
        const QByteArrayList files = filesOfTree();
        return files.isEmpty() ? QByteArray() : files.at(m_random.bounded(int(files.size())));
    }

    QByteArray newName() { return "teil_" + QByteArray::number(m_next++) + ".asm.1"; }

    QByteArray anyFolder()
    {
        static const QByteArrayList folders = {"", "a/", "a/b/", "c/"};
        return folders.at(m_random.bounded(int(folders.size())));
    }

    // One change of the tree; returns what it did, for the failure message.
    QByteArray change()
    {
        const QByteArray file = anyFile();
        switch (file.isEmpty() ? 0 : m_random.bounded(9)) {
        case 0: {
            const QByteArray added = anyFolder() + newName();
            m_tree.addFile(added, content());
            return "added " + added;
        }
        case 1:
            QFile::remove(QFile::decodeName(m_tree.path(file)));
            return "removed " + file;
        case 2: {
            const QByteArray renamed = anyFolder() + newName();
            if (renamed.contains('/'))
                m_tree.addFolder(renamed.left(renamed.lastIndexOf('/')));
            ::rename(m_tree.path(file).constData(), m_tree.path(renamed).constData());
            return "renamed " + file + " to " + renamed;
        }
        case 3: {
            // same size, the old modification time set back as `touch -d` does
            struct stat before
            {
            };
            ::stat(m_tree.path(file).constData(), &before);
            QByteArray bytes = content().leftJustified(before.st_size, 'x', true);
            QFile out(QFile::decodeName(m_tree.path(file)));
            // a link that leads nowhere stays as it is
            if (!out.open(QIODevice::ReadWrite) || out.write(bytes) != bytes.size())
                return "left " + file;
            out.close();
            const timespec times[2] = {before.st_atim, before.st_mtim};
            utimensat(AT_FDCWD, m_tree.path(file).constData(), times, 0);
            return "rewrote in place " + file;
        }
        case 4: {
            const QByteArray target = anyFile();
            QFile::remove(QFile::decodeName(m_tree.path(file)));
            m_tree.addSymlink(file, m_tree.path(target));
            return "replaced " + file + " by a link to " + target;
        }
        case 5:
            ::chmod(m_tree.path(file).constData(), 0);
            return "made unreadable " + file;
        case 6: {
            QFile out(QFile::decodeName(m_tree.path(file)));
            if (out.open(QIODevice::Append))
                out.write(' ' + heldNames.at(m_random.bounded(int(heldNames.size()))));
            return "appended a name to " + file;
        }
        case 7: {
            const QByteArray moved = "moved_" + QByteArray::number(m_next++);
            ::rename(m_tree.path("a/b").constData(), m_tree.path(moved).constData());
            m_tree.addFolder("a/b");
            return "moved folder a/b to " + moved;
        }
        default:
            m_tree.addFile(anyFolder() + newName(), content());
            return "added a file";
        }
    }

private:
    QByteArrayList filesOfTree() const
    {
        QByteArrayList files;
        QDir root(QFile::decodeName(m_tree.root()));
        const QStringList entries =
            root.entryList(QStringList{u"*.asm.1"_s}, QDir::Files | QDir::System);
        for (const QString &entry : entries)
            files.append(QFile::encodeName(entry));
        for (const char *folder : {"a/", "a/b/", "c/"}) {
            const QStringList inside =
                QDir(QFile::decodeName(m_tree.path(folder)))
                    .entryList(QStringList{u"*.asm.1"_s}, QDir::Files | QDir::System);
            for (const QString &entry : inside)
                files.append(folder + QFile::encodeName(entry));
        }
        return files;
    }

    TestTree &m_tree;
    QRandomGenerator m_random;
    int m_next = 0;
    bool m_references = false;
};

// What --from-index tells: the candidates it went through may differ.
RunAnswer told(RunAnswer answer)
{
    answer.searched.clear();
    answer.status.clear();
    return answer;
}

} // namespace

class tst_IndexExactness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void indexedRunGivesTheScansAnswer_data();
    void indexedRunGivesTheScansAnswer();
    void selectedFilesGiveTheRecordsAnswer_data();
    void selectedFilesGiveTheRecordsAnswer();

private:
    TestPostgres m_server;
    bool m_serverStarted = false;
};

void tst_IndexExactness::initTestCase()
{
    m_serverStarted = m_server.start();
    if (!m_serverStarted)
        qWarning() << "the office index's rows are skipped:" << m_server.problem();
}

void tst_IndexExactness::indexedRunGivesTheScansAnswer_data()
{
    QTest::addColumn<bool>("office");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("updateEvery");
    // as on a share: the reads in flight, the candidates the index answers among them
    QTest::addColumn<bool>("inFlight");
    for (const bool office : {false, true}) {
        const char *store = office ? "office index" : "desktop index";
        QTest::addRow("%s, seed 1, update after every third change", store)
            << office << 1u << 3 << false;
        QTest::addRow("%s, seed 2, update after every change", store) << office << 2u << 1 << false;
        QTest::addRow("%s, seed 3, the index grows stale", store) << office << 3u << 1000 << false;
    }
    QTest::addRow("desktop index, seed 4, requests in flight") << false << 4u << 2 << true;
}

// After every change of the tree, whether the index has seen it or not, an indexed run reports
// the hits, the files not read and the progress of a run that reads every file.
void tst_IndexExactness::indexedRunGivesTheScansAnswer()
{
    QFETCH(bool, office);
    QFETCH(quint32, seed);
    QFETCH(int, updateEvery);
    QFETCH(bool, inFlight);
    platform::setAlwaysInFlight(inFlight);
    const auto restore = qScopeGuard([] { platform::setAlwaysInFlight(false); });
    IndexFixture fixture;
    if (office) {
        if (!m_serverStarted)
            QSKIP("no PostgreSQL server");
        fixture.server = m_server.newDatabase();
        QVERIFY2(!fixture.server.isEmpty(), qPrintable(m_server.problem()));
    }
    fixture.tree.addFolder("a/b");
    fixture.tree.addFolder("c");
    TreeChanger changer(fixture.tree, seed);
    for (int i = 0; i < 24; ++i)
        changer.change();
    // A file stamped in the clock tick of its update is read by every search until the next
    // one; on a fast file system the whole tree is made within one tick, so let it pass.
    const qint64 made = fileClockNs();
    while (fileClockNs() == made) {
    }
    fixture.update();

    qint64 passedOver = 0;
    QByteArrayList changes;
    for (int step = 1; step <= 30; ++step) {
        changes.append(changer.change());
        if (step % updateEvery == 0)
            fixture.update();
        for (const QString &text : searchTexts) {
            IndexReport report;
            const RunAnswer indexed = fixture.run(text, true, &report);
            const RunAnswer scanned = fixture.run(text, false);
            if (indexed != scanned)
                qInfo() << "changes so far:" << changes.join(", ") << "text:" << text;
            QCOMPARE(indexed, scanned);
            const bool answerable = !QStringList{u"WE"_s, u"HUB"_s, u"ÄUSE"_s}.contains(text);
            QCOMPARE(report.reason, answerable ? IndexReport::Reason::Answered
                                               : IndexReport::Reason::TextTooLoose);
            QCOMPARE(report.office.used, office);
            passedOver += report.answered;
        }
    }
    // the index did pass over files: the comparison above is not between two scans
    QVERIFY(passedOver > 0);
}

void tst_IndexExactness::selectedFilesGiveTheRecordsAnswer_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("levels");
    QTest::addRow("seed 5, one level") << 5u << 1;
    QTest::addRow("seed 5, four levels") << 5u << 4;
    QTest::addRow("seed 7, four levels") << 7u << 4;
}

// Answering from the office index alone, the files its server selects give the answer that
// every record of the tree gives, level by level, after each change and update.
void tst_IndexExactness::selectedFilesGiveTheRecordsAnswer()
{
    QFETCH(quint32, seed);
    QFETCH(int, levels);
    if (!m_serverStarted)
        QSKIP("no PostgreSQL server");
    IndexFixture fixture;
    fixture.server = m_server.newDatabase();
    QVERIFY2(!fixture.server.isEmpty(), qPrintable(m_server.problem()));
    fixture.tree.addFolder("a/b");
    fixture.tree.addFolder("c");
    TreeChanger changer(fixture.tree, seed);
    changer.referToOthers();
    for (int i = 0; i < 24; ++i)
        changer.change();
    qsizetype hits = 0;
    qsizetype upperHits = 0; // found at the second level
    for (int step = 1; step <= 15; ++step) {
        changer.change();
        fixture.update();
        for (const QString &text : searchTexts + QStringList{u"TEIL_3"_s}) {
            const RunAnswer selected = told(fixture.answerAlone(text, levels, true));
            QCOMPARE(selected, told(fixture.answerAlone(text, levels, false)));
            hits += selected.hits.size();
            upperHits += std::count_if(selected.hits.begin(), selected.hits.end(),
                                       [](const QByteArray &hit) { return hit.startsWith("2 "); });
        }
    }
    QVERIFY(hits > 0);
    QCOMPARE(upperHits > 0, levels > 1);
}

QTEST_GUILESS_MAIN(tst_IndexExactness)
#include "tst_index_exactness.moc"
