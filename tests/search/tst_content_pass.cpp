#include "search/content_pass.h"

#include "platform/event_pump.h"
#include "search/cfindfile.h"

#include "test_tree.h"
#include "unprivileged_user.h"

#include <QTest>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

// How the pass opens its candidates.
enum class Opening
{
    InTurn,   // as the files come from memory
    InFlight, // by requests on other threads, as on a share
    Ahead,    // ahead of their turn on the pass's thread, as on a disk
};
Q_DECLARE_METATYPE(Opening)

namespace {

const QByteArray partName("PART_0042");

ContentSearch &partSearch()
{
    static ContentSearch search({{partName}});
    return search;
}

// Several chunks of bytes that never hold the part name, so a search reads every one of them.
QByteArray filler(qsizetype size, char seed = 'a')
{
    QByteArray bytes(size, seed);
    for (qsizetype i = 0; i < size; i += 97)
        bytes[i] = char('A' + i % 26);
    return bytes;
}

struct Walked
{
    QByteArray path;
    platform::ListedEntry entry;
};

// The assemblies of a folder as a walk reports them, with what its listing saw.
QList<Walked> walk(const QByteArray &folder)
{
    QList<Walked> walked;
    cFindFile finder;
    QObject::connect(&finder, &cFindFile::MatchFound, &finder,
                     [&](const QByteArray &name, const QByteArray &in) {
                         walked.append({in + name, finder.matchEntry()});
                     });
    finder.setSSearchpath(folder);
    finder.setSFileToFind("*.asm*");
    finder.sStartSearch();
    return walked;
}

// "path: outcome, n statuses"
QString described(const QByteArray &path, const ContentSearchResult &result, qsizetype statuses)
{
    QString outcome;
    switch (result.outcome) {
    case ContentSearchOutcome::Found:
        outcome = QStringLiteral("found at %1").arg(result.position);
        break;
    case ContentSearchOutcome::NotFound:
        outcome = QStringLiteral("not found");
        break;
    case ContentSearchOutcome::Unreadable:
        outcome = QStringLiteral("unreadable");
        break;
    case ContentSearchOutcome::Stopped:
        outcome = QStringLiteral("stopped");
        break;
    }
    return QStringLiteral("%1: %2, %3 statuses")
        .arg(QString::fromLocal8Bit(path), outcome)
        .arg(statuses);
}

} // namespace

class tst_ContentPass : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void givesWhatSearchingEachFileGives();
    void fileChangedAfterItsListing_data();
    void fileChangedAfterItsListing();
    void stopLeavesNoDescriptorOpen();
};

void tst_ContentPass::cleanup()
{
    platform::setPendingEventsHandler({});
    platform::setAlwaysInFlight(false);
    platform::setAlwaysOnAskingThread(false);
}

// Whether its kinds come from the walk's listing or are looked up: every candidate ends as
// SearchFileForText ends it, in the order added, and what is never searched shows no progress.
void tst_ContentPass::givesWhatSearchingEachFileGives()
{
    TestTree tree;
    tree.addFile("top/found.asm", filler(100000).replace(70000, 9, partName));
    tree.addFile("top/not_found.asm", filler(100000));
    tree.addFile("top/empty.asm");
    tree.addFile("top/.hidden.asm", partName);
    tree.addFile("top/locked.asm", partName);
    tree.addFolder("top/folder.asm");
    tree.addFifo("top/pipe.asm");
    tree.addSocket("top/socket.asm");
    tree.addSymlink("top/link.asm", "found.asm");
    tree.addSymlink("top/dangling.asm", "nowhere");
    QCOMPARE(::chmod(tree.path("top/locked.asm").constData(), 0), 0);
    const UnprivilegedUser user(tree);
    const QList<Walked> walked = walk(tree.path("top"));
    QCOMPARE(walked.size(), 10);

    QStringList expected;
    for (const Walked &candidate : walked) {
        QStringList statuses;
        const ContentSearchResult alone =
            SearchFileForText(candidate.path, QString::fromLatin1(partName), 1,
                              [&statuses](const QString &status) { statuses.append(status); });
        expected.append(described(candidate.path, alone, statuses.size()));
    }
    for (const bool listed : {true, false}) {
        QStringList statuses;
        ContentPass pass([&statuses](const QString &status) { statuses.append(status); });
        QStringList outcomes;
        const auto searchNext = [&] {
            statuses.clear();
            const QByteArray path = pass.next().path;
            const ContentSearchResult result = pass.searchNext(partSearch());
            outcomes.append(described(path, result, statuses.size()));
        };
        for (const Walked &candidate : walked) {
            pass.add(candidate.path, listed ? std::optional(candidate.entry) : std::nullopt);
            if (pass.isFull())
                searchNext();
        }
        while (!pass.isEmpty())
            searchNext();
        QCOMPARE(outcomes, expected);
    }
}

void tst_ContentPass::fileChangedAfterItsListing_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<ContentSearchOutcome>("outcome");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<Opening>("opening");

    // From memory small files are read whole together with the ones after them, large ones one
    // at a time; from a share each is opened by a request in flight, from a disk ahead of its
    // turn on the pass's thread.
    const struct
    {
        const char *name;
        qsizetype size;
        Opening opening;
    } ways[] = {{"small", 3000, Opening::InTurn},
                {"large", 300000, Opening::InTurn},
                {"in flight", 300000, Opening::InFlight},
                {"opened ahead", 300000, Opening::Ahead}};
    for (const auto &way : ways) {
        QTest::addRow("%s, removed", way.name)
            << QStringLiteral("remove") << ContentSearchOutcome::Unreadable << way.size
            << way.opening;
        QTest::addRow("%s, made unreadable", way.name)
            << QStringLiteral("lock") << ContentSearchOutcome::Unreadable << way.size
            << way.opening;
        QTest::addRow("%s, replaced by a FIFO", way.name)
            << QStringLiteral("fifo") << ContentSearchOutcome::NotFound << way.size << way.opening;
        QTest::addRow("%s, replaced by a folder", way.name)
            << QStringLiteral("folder") << ContentSearchOutcome::NotFound << way.size
            << way.opening;
        QTest::addRow("%s, written anew", way.name)
            << QStringLiteral("rewrite") << ContentSearchOutcome::Found << way.size << way.opening;
    }
}

// The walk has listed the three candidates; the second is changed before the pass opens it, as
// when a file vanishes from a share between the listing of its folder and its open. The pass opens
// it as it is then, however it opens it, and the candidates around it are searched as before.
void tst_ContentPass::fileChangedAfterItsListing()
{
    QFETCH(QString, change);
    QFETCH(ContentSearchOutcome, outcome);
    QFETCH(qsizetype, size);
    QFETCH(Opening, opening);
    platform::setAlwaysInFlight(opening != Opening::InTurn);
    platform::setAlwaysOnAskingThread(opening == Opening::Ahead);
    TestTree tree;
    for (const char *name : {"a.asm", "b.asm", "c.asm"})
        tree.addFile(QByteArray("top/") + name, filler(size) + partName);
    QList<Walked> walked = walk(tree.path("top"));
    QCOMPARE(walked.size(), 3);
    std::sort(walked.begin(), walked.end(),
              [](const Walked &a, const Walked &b) { return a.path < b.path; });
    const QByteArray changed = walked.at(1).path;
    // the user "nobody" must own the file and its folder to change them
    if (::geteuid() == 0) {
        QCOMPARE(::chown(tree.path("top").constData(), 65534, 65534), 0);
        QCOMPARE(::chown(changed.constData(), 65534, 65534), 0);
    }
    const UnprivilegedUser user(tree);
    if (change == u"remove") {
        QCOMPARE(::unlink(changed.constData()), 0);
    } else if (change == u"lock") {
        QCOMPARE(::chmod(changed.constData(), 0), 0);
    } else if (change == u"fifo") {
        QCOMPARE(::unlink(changed.constData()), 0);
        QCOMPARE(::mkfifo(changed.constData(), 0644), 0);
    } else if (change == u"folder") {
        QCOMPARE(::unlink(changed.constData()), 0);
        QCOMPARE(::mkdir(changed.constData(), 0755), 0);
    } else {
        QFile file(QFile::decodeName(changed));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(partName), partName.size());
    }
    ContentPass pass;
    for (const Walked &candidate : walked)
        pass.add(candidate.path, candidate.entry);

    QCOMPARE(pass.searchNext(partSearch()).outcome, ContentSearchOutcome::Found);
    const ContentSearchResult result = pass.searchNext(partSearch());
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(result.error.isEmpty(), outcome != ContentSearchOutcome::Unreadable);
    QCOMPARE(pass.searchNext(partSearch()).outcome, ContentSearchOutcome::Found);
}

// A stop ends the pass between two candidates: the folders its pending candidates were listed
// in, and every file it read ahead, are closed.
void tst_ContentPass::stopLeavesNoDescriptorOpen()
{
    TestTree tree;
    for (int i = 0; i < 40; ++i) {
        tree.addFile("top/" + QByteArray::number(i % 7) + "/part" + QByteArray::number(i) + ".asm",
                     filler(100000) + partName);
    }
    for (const Walked &candidate : walk(tree.path("top")))
        evictFromMemory(candidate.path);
    const int before = openDescriptorCount();
    {
        ContentPass pass;
        int searched = 0;
        for (const Walked &candidate : walk(tree.path("top"))) {
            pass.add(candidate.path, candidate.entry);
            if (pass.isFull() && ++searched < 5)
                QCOMPARE(pass.searchNext(partSearch()).outcome, ContentSearchOutcome::Found);
            if (searched == 5)
                break;
        }
        QVERIFY(openDescriptorCount() > before);
    }
    QCOMPARE(openDescriptorCount(), before);
}

QTEST_GUILESS_MAIN(tst_ContentPass)
#include "tst_content_pass.moc"
