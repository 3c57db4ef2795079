#include "search/content_search.h"

#include "platform/event_pump.h"
#include "search/cfindfile.h"

#include "test_tree.h"
#include "unprivileged_user.h"

#include <QFile>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray partName("PART_0042");

// Bytes that come close to the part name everywhere but never hold it.
QByteArray filler(qint64 size)
{
    const QByteArray nearMiss("PART_0041;PART_004;part_0042;");
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes.append(nearMiss);
    bytes.truncate(size);
    return bytes;
}

// A file's content with the given texts placed at 1-based positions.
QByteArray content(qint64 size, const QList<std::pair<qint64, QByteArray>> &placed)
{
    QByteArray bytes = filler(size);
    for (const auto &[position, text] : placed)
        bytes.replace(position - 1, text.size(), text);
    return bytes;
}

QString status(int percent)
{
    return QStringLiteral("Suche läuft... %1%").arg(percent);
}

struct Search
{
    ContentSearchResult result;
    QStringList statuses;
    int pendingEventCalls = 0;
};

Search search(const QByteArray &path, const QByteArray &text, qint64 start = 1)
{
    Search done;
    platform::setPendingEventsHandler([&done] { ++done.pendingEventCalls; });
    done.result =
        SearchFileForText(path, QString::fromLocal8Bit(text), start,
                          [&done](const QString &status) { done.statuses.append(status); });
    platform::setPendingEventsHandler({});
    return done;
}

} // namespace

class tst_ContentSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void findsTheFirstOccurrence_data();
    void findsTheFirstOccurrence();
    void textOutsideAsciiInEitherEncoding_data();
    void textOutsideAsciiInEitherEncoding();
    void statusAfterEveryBlock_data();
    void statusAfterEveryBlock();
    void notSearchedByDesign_data();
    void notSearchedByDesign();
    void fileThatReportsNoLengthIsReadToItsEnd_data();
    void fileThatReportsNoLengthIsReadToItsEnd();
    void linksAndNamesThatAreNotUtf8AreSearched();
    void positionsPast2GiB_data();
    void positionsPast2GiB();
    void fileRemovedBetweenWalkAndContentPass();
    void fileThatCannotBeOpened();
    void fileThatShrinksWhileItIsRead();
    void holesGiveWhatReadingTheirZerosGives_data();
    void holesGiveWhatReadingTheirZerosGives();
    void stopRequestEndsTheSearchAtTheNextBlock_data();
    void stopRequestEndsTheSearchAtTheNextBlock();
};

void tst_ContentSearch::cleanup()
{
    platform::setPendingEventsHandler({});
}

void tst_ContentSearch::findsTheFirstOccurrence_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("expected"); // 0: not found

    const QByteArray &t = partName;
    const qint64 L = t.size();
    const QByteArray longText = filler(5000).replace(0, 4, "LONG").replace(4996, 4, "TEXT");
    const qint64 chunk = 65536;

    QTest::addRow("at the first byte") << content(10000, {{1, t}}) << t << 1LL << 1LL;
    QTest::addRow("at byte L") << content(10000, {{L, t}}) << t << 1LL << L;
    QTest::addRow("5 characters at 4094")
        << content(10000, {{4094, "PARTS"}}) << QByteArray("PARTS") << 1LL << 4094LL;
    QTest::addRow("ends with block 1") << content(10000, {{4097 - L, t}}) << t << 1LL << 4097 - L;
    QTest::addRow("last byte of block 1") << content(10000, {{4096, t}}) << t << 1LL << 4096LL;
    QTest::addRow("first byte of block 2") << content(10000, {{4097, t}}) << t << 1LL << 4097LL;
    QTest::addRow("ends with a chunk")
        << content(200000, {{chunk + 1 - L, t}}) << t << 1LL << chunk + 1 - L;
    QTest::addRow("across a chunk") << content(200000, {{chunk - 3, t}}) << t << 1LL << chunk - 3;
    QTest::addRow("first byte of chunk 2")
        << content(200000, {{chunk + 1, t}}) << t << 1LL << chunk + 1;
    QTest::addRow("across the second chunk")
        << content(200000, {{2 * chunk - 1, t}}) << t << 1LL << 2 * chunk - 1;
    QTest::addRow("at the last bytes")
        << content(200000, {{200001 - L, t}}) << t << 1LL << 200001 - L;
    QTest::addRow("whole file") << t << t << 1LL << 1LL;
    QTest::addRow("first of two, same block")
        << content(10000, {{300, t}, {700, t}}) << t << 1LL << 300LL;
    QTest::addRow("first of two, chunks apart")
        << content(200000, {{90000, t}, {150000, t}}) << t << 1LL << 90000LL;
    QTest::addRow("text longer than a block")
        << content(20000, {{3000, longText}}) << longText << 1LL << 3000LL;
    QTest::addRow("long text across a chunk")
        << content(200000, {{chunk - 2500, longText}}) << longText << 1LL << chunk - 2500;
    QTest::addRow("start position 100")
        << content(10000, {{50, t}, {4200, t}}) << t << 100LL << 4200LL;
    QTest::addRow("text at the start position")
        << content(10000, {{100, t}}) << t << 100LL << 100LL;
    QTest::addRow("text just before the start") << content(10000, {{99, t}}) << t << 100LL << 0LL;
    QTest::addRow("start position 0 is 1") << content(10000, {{1, t}}) << t << 0LL << 1LL;
    QTest::addRow("start past the end") << content(10000, {{1, t}}) << t << 10001LL << 0LL;
    QTest::addRow("different case") << content(10000, {{500, "part_0042"}}) << t << 1LL << 0LL;
    QTest::addRow("near misses only") << filler(200000) << t << 1LL << 0LL;
    QTest::addRow("text longer than the file") << QByteArray("PART") << t << 1LL << 0LL;
    QTest::addRow("non-ASCII text")
        << content(10000, {{5000, "WÄRME"}}) << QByteArray("WÄRME") << 1LL << 5000LL;
    QTest::addRow("zero bytes in file")
        << QByteArray("\0\0ab\0cd", 7) << QByteArray("b\0c", 3) << 1LL << 4LL;
}

void tst_ContentSearch::findsTheFirstOccurrence()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, text);
    QFETCH(qint64, start);
    QFETCH(qint64, expected);
    TestTree tree;
    const QByteArray path = tree.addFile("hub.asm.1", bytes);

    const ContentSearchResult result = search(path, text, start).result;

    QCOMPARE(result.outcome,
             expected > 0 ? ContentSearchOutcome::Found : ContentSearchOutcome::NotFound);
    QCOMPARE(result.position, expected);
}

void tst_ContentSearch::textOutsideAsciiInEitherEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("expected"); // 0: not found

    const QString gehaeuse = QStringLiteral("GEHÄUSE");
    const QByteArray utf8("GEH\xc3\x84USE");
    const QByteArray windows1252("GEH\xc4USE");
    const qint64 chunk = 65536;

    QTest::addRow("Windows-1252") << content(10000, {{500, windows1252}}) << gehaeuse << 500LL;
    QTest::addRow("UTF-8") << content(10000, {{500, utf8}}) << gehaeuse << 500LL;
    QTest::addRow("Windows-1252 first")
        << content(10000, {{300, windows1252}, {700, utf8}}) << gehaeuse << 300LL;
    QTest::addRow("UTF-8 first") << content(10000, {{300, utf8}, {700, windows1252}}) << gehaeuse
                                 << 300LL;
    // the carry-over holds the longer form
    QTest::addRow("UTF-8 across a chunk")
        << content(200000, {{chunk - 6, utf8}}) << gehaeuse << chunk - 6;
    QTest::addRow("Windows-1252 across a chunk")
        << content(200000, {{chunk - 2, windows1252}}) << gehaeuse << chunk - 2;
    QTest::addRow("Latin-1 form in lower case")
        << content(10000, {{500, "Geh\xe4use"}}) << gehaeuse << 0LL;
    QTest::addRow("from the range Latin-1 lacks")
        << content(10000, {{500, "\x80-TEIL"}}) << QStringLiteral("€-TEIL") << 500LL;
    // "Ł" has no byte in the code page: a question mark in its place is no form of the text
    QTest::addRow("no Windows-1252 form, UTF-8") << content(10000, {{500, "\xc5\x81"
                                                                          "AGER"}})
                                                 << QStringLiteral("ŁAGER") << 500LL;
    QTest::addRow("no Windows-1252 form, replaced")
        << content(10000, {{500, "?AGER"}}) << QStringLiteral("ŁAGER") << 0LL;
}

// A CAD program of a Western European office stores names in Windows-1252, others in UTF-8.
void tst_ContentSearch::textOutsideAsciiInEitherEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(qint64, expected);
    TestTree tree;
    const QByteArray path = tree.addFile("hub.asm.1", bytes);

    const ContentSearchResult result = SearchFileForText(path, text, 1);

    QCOMPARE(result.outcome,
             expected > 0 ? ContentSearchOutcome::Found : ContentSearchOutcome::NotFound);
    QCOMPARE(result.position, expected);
}

void tst_ContentSearch::statusAfterEveryBlock_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QList<int>>("percentages");

    QTest::addRow("10000 bytes, not found") << filler(10000) << 1LL << QList<int>{41, 82, 100};
    QTest::addRow("found in block 2")
        << content(10000, {{4094, partName}}) << 1LL << QList<int>{41, 82};
    QTest::addRow("found in block 1")
        << content(10000, {{4088, partName}}) << 1LL << QList<int>{41};
    QTest::addRow("from start position 5001") << filler(10000) << 5001LL << QList<int>{91, 100};
    QTest::addRow("one short block") << filler(100) << 1LL << QList<int>{100};
    QTest::addRow("empty file") << QByteArray() << 1LL << QList<int>{};

    // every block of a file of several chunks, each percentage as p / N * 100 + 0.5, cut
    QList<int> manyBlocks;
    const qint64 size = 300000;
    for (qint64 p = 4096; p < size + 4096; p += 4096)
        manyBlocks.append(int(double(std::min(p, size)) / double(size) * 100 + 0.5));
    QTest::addRow("several chunks") << filler(size) << 1LL << manyBlocks;
}

void tst_ContentSearch::statusAfterEveryBlock()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, start);
    QFETCH(QList<int>, percentages);
    TestTree tree;
    const QByteArray path = tree.addFile("hub.asm.1", bytes);

    const Search done = search(path, partName, start);

    QStringList expected;
    for (int percent : percentages)
        expected.append(status(percent));
    QCOMPARE(done.statuses, expected);
    QCOMPARE(done.pendingEventCalls, expected.size());
}

void tst_ContentSearch::fileThatReportsNoLengthIsReadToItsEnd_data()
{
    QTest::addColumn<QByteArray>("path"); // empty: an empty file
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("found");
    QTest::addRow("its first bytes")
        << QByteArray("/proc/self/status") << QByteArray("Name:") << true;
    QTest::addRow("its last bytes")
        << QByteArray("/proc/self/cmdline") << QByteArray("tst_content_search") << true;
    QTest::addRow("not there") << QByteArray("/proc/self/status") << partName << false;
    QTest::addRow("an empty file") << QByteArray() << partName << false;
}

// A file whose size is reported as 0 while it holds bytes, as files in /proc do, is searched as
// reading it to its end shows.
void tst_ContentSearch::fileThatReportsNoLengthIsReadToItsEnd()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, text);
    QFETCH(bool, found);
    TestTree tree;
    if (path.isEmpty())
        path = tree.addFile("leer.asm");
    struct stat status
    {
    };
    QCOMPARE(::stat(path.constData(), &status), 0);
    QCOMPARE(status.st_size, 0);
    QFile file(QFile::decodeName(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const qint64 expected = found ? file.readAll().indexOf(text) + 1 : 0;

    const Search done = search(path, text);

    QCOMPARE(done.result.outcome,
             found ? ContentSearchOutcome::Found : ContentSearchOutcome::NotFound);
    QCOMPARE(done.result.position, expected);
}

void tst_ContentSearch::notSearchedByDesign_data()
{
    QTest::addColumn<QByteArray>("relative");
    QTest::addColumn<QByteArray>("text");

    QTest::addRow("empty text") << QByteArray("hub.asm") << QByteArray();
    QTest::addRow("hidden file") << QByteArray(".hub.asm") << partName;
    QTest::addRow("folder") << QByteArray("sub.asm") << partName;
    QTest::addRow("FIFO") << QByteArray("pipe.asm") << partName;
}

void tst_ContentSearch::notSearchedByDesign()
{
    QFETCH(QByteArray, relative);
    QFETCH(QByteArray, text);
    TestTree tree;
    tree.addFile("hub.asm", partName);
    tree.addFile(".hub.asm", partName);
    tree.addFolder("sub.asm");
    tree.addFifo("pipe.asm");

    // a FIFO that were opened would block here for good, with no writer in sight
    const Search done = search(tree.path(relative), text);

    QCOMPARE(done.result.outcome, ContentSearchOutcome::NotFound);
    QCOMPARE(done.result.position, 0);
    QVERIFY(done.statuses.isEmpty());
}

void tst_ContentSearch::linksAndNamesThatAreNotUtf8AreSearched()
{
    TestTree tree;
    const QByteArray latin1 = tree.addFile("w\xe4rme.asm", content(5000, {{10, partName}}));
    const QByteArray link = tree.addSymlink("link.asm", "w\xe4rme.asm");

    QCOMPARE(search(latin1, partName).result.position, 10);
    QCOMPARE(search(link, partName).result.position, 10);
}

void tst_ContentSearch::positionsPast2GiB_data()
{
    QTest::addColumn<qint64>("placedAt");
    QTest::addColumn<qint64>("start");

    const qint64 twoGiB = qint64(1) << 31;
    QTest::addRow("past 2 GiB") << twoGiB + 11 << twoGiB - 5000;
    QTest::addRow("across 2 GiB") << twoGiB - 3 << twoGiB - 70000;
    QTest::addRow("past 4 GiB") << 2 * twoGiB + 1 << 2 * twoGiB - 100;
    QTest::addRow("start past 2 GiB") << twoGiB + 9000 << twoGiB + 5;
}

void tst_ContentSearch::positionsPast2GiB()
{
    QFETCH(qint64, placedAt);
    QFETCH(qint64, start);
    TestTree tree;
    const qint64 size = placedAt + 100000;
    const QByteArray path = tree.addSparseFile("big.asm", size, placedAt - 1, partName);

    const Search done = search(path, partName, start);

    QCOMPARE(done.result.outcome, ContentSearchOutcome::Found);
    QCOMPARE(done.result.position, placedAt);
    // progress counts 64-bit too: blocks from the start position up to the one holding the end
    const qint64 lastByte = placedAt + partName.size() - 2;
    const qint64 blocks = (lastByte - (start - 1)) / 4096 + 1;
    QCOMPARE(done.statuses.size(), blocks);
    const qint64 lastBlockEnd = start - 1 + blocks * 4096;
    QCOMPARE(done.statuses.last(), status(int(double(lastBlockEnd) / double(size) * 100 + 0.5)));
}

void tst_ContentSearch::fileRemovedBetweenWalkAndContentPass()
{
    TestTree tree;
    tree.addFile("top/a.asm", partName);
    tree.addFile("top/sub/b.asm", partName);
    cFindFile finder;
    QList<QByteArray> candidates;
    connect(&finder, &cFindFile::MatchFound, this,
            [&candidates](const QByteArray &name, const QByteArray &folder) {
                candidates.append(folder + name);
            });
    connect(&finder, &cFindFile::StopSearch, this,
            [&tree] { QCOMPARE(::unlink(tree.path("top/a.asm").constData()), 0); });
    finder.setSSearchpath(tree.path("top"));
    finder.setSFileToFind("*.asm*");

    finder.sStartSearch();

    QCOMPARE(candidates, (QList<QByteArray>{tree.path("top/a.asm"), tree.path("top/sub/b.asm")}));
    const Search removed = search(candidates.at(0), partName);
    QCOMPARE(removed.result.outcome, ContentSearchOutcome::Unreadable);
    QCOMPARE(removed.result.position, 0);
    QVERIFY(!removed.result.error.isEmpty());
    QVERIFY(removed.statuses.isEmpty());
    QCOMPARE(search(candidates.at(1), partName).result.outcome, ContentSearchOutcome::Found);
}

void tst_ContentSearch::fileThatCannotBeOpened()
{
    TestTree tree;
    const QByteArray path = tree.addFile("locked.asm", partName);
    QCOMPARE(::chmod(path.constData(), 0), 0);
    const UnprivilegedUser user(tree);

    const Search done = search(path, partName);

    QCOMPARE(done.result.outcome, ContentSearchOutcome::Unreadable);
    QVERIFY(!done.result.error.isEmpty());
}

void tst_ContentSearch::fileThatShrinksWhileItIsRead()
{
    TestTree tree;
    const QByteArray path = tree.addFile("hub.asm", content(200000, {{150000, partName}}));
    int calls = 0;
    platform::setPendingEventsHandler([&] {
        if (++calls == 1)
            QCOMPARE(::truncate(path.constData(), 70000), 0);
    });

    const ContentSearchResult result = SearchFileForText(path, QString::fromLatin1(partName), 1);

    QCOMPARE(result.outcome, ContentSearchOutcome::Unreadable);
    QCOMPARE(result.position, 0);
    QVERIFY(!result.error.isEmpty());
}

using Pieces = QList<std::pair<qint64, QByteArray>>;

void tst_ContentSearch::holesGiveWhatReadingTheirZerosGives_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Pieces>("data"); // written at 0-based offsets; the rest stays holes
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("start");

    const qint64 size = 300000;
    const qint64 block = 4096;
    const QByteArray zeros4(4, '\0');
    QTest::addRow("text in data after a hole")
        << size << Pieces{{50 * block, filler(100).replace(40, 9, partName)}} << partName << 1LL;
    QTest::addRow("text from a hole into data")
        << size << Pieces{{49 * block, "AB" + filler(200)}} << QByteArray("\0\0\0AB", 5) << 1LL;
    QTest::addRow("text from data into a hole")
        << size << Pieces{{50 * block - 2, "XY"}} << QByteArray("XY\0\0\0", 5) << 1LL;
    QTest::addRow("zeros, where the first hole begins")
        << size << Pieces{{0, filler(2 * block)}, {60 * block, filler(100)}} << zeros4 << 1LL;
    QTest::addRow("zeros, as long as a hole")
        << size << Pieces{{0, filler(block)}, {2 * block, filler(block)}} << QByteArray(block, '\0')
        << 1LL;
    QTest::addRow("zeros, longer than any hole")
        << size << Pieces{{0, filler(block)}, {2 * block, filler(size - 2 * block)}}
        << QByteArray(block + 1, '\0') << 1LL;
    QTest::addRow("zeros, from a start inside a hole")
        << size << Pieces{{0, filler(block)}} << zeros4 << 10000LL;
    QTest::addRow("text, nothing but holes") << size << Pieces{} << partName << 1LL;
    QTest::addRow("zeros, nothing but holes") << size << Pieces{} << zeros4 << 1LL;
    QTest::addRow("text, hole to the end") << size << Pieces{{0, filler(block)}} << partName << 1LL;
    QTest::addRow("text after holes of several chunks")
        << 10 * size << Pieces{{9 * size, filler(1000).replace(999 - 9, 9, partName)}} << partName
        << 1LL;
}

// A sparse file and a file of the same bytes written out: the same result, the same status
// texts, as often asked.
void tst_ContentSearch::holesGiveWhatReadingTheirZerosGives()
{
    QFETCH(qint64, size);
    QFETCH(Pieces, data);
    QFETCH(QByteArray, text);
    QFETCH(qint64, start);
    TestTree tree;
    const QByteArray sparse = tree.addSparseFile("sparse.asm", size, 0, {});
    QByteArray bytes(size, '\0');
    {
        QFile file(QFile::decodeName(sparse));
        QVERIFY(file.open(QIODevice::ReadWrite));
        for (const auto &[offset, piece] : data) {
            QVERIFY(file.seek(offset));
            QCOMPARE(file.write(piece), piece.size());
            bytes.replace(offset, piece.size(), piece);
        }
    }
    struct stat status;
    QCOMPARE(::stat(sparse.constData(), &status), 0);
    QVERIFY2(status.st_blocks * 512 < size, "the file system wrote the holes out");
    const QByteArray dense = tree.addFile("dense.asm", bytes);

    const Search fromHoles = search(sparse, text, start);
    const Search fromZeros = search(dense, text, start);

    QCOMPARE(fromHoles.result.outcome, fromZeros.result.outcome);
    QCOMPARE(fromHoles.result.position, fromZeros.result.position);
    QCOMPARE(fromHoles.statuses, fromZeros.statuses);
    QCOMPARE(fromHoles.pendingEventCalls, fromZeros.pendingEventCalls);
}

void tst_ContentSearch::stopRequestEndsTheSearchAtTheNextBlock_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("placedAt"); // 0: a file of near misses
    QTest::addColumn<int>("stopAtBlock");
    QTest::addColumn<ContentSearchOutcome>("outcome");

    const qint64 oneGiB = qint64(1) << 30;
    // blocks of a chunk read already are not searched on
    QTest::addRow("in the middle of a chunk")
        << 300000LL << 0LL << 3 << ContentSearchOutcome::Stopped;
    QTest::addRow("in a hole of a large sparse file")
        << oneGiB << oneGiB - 100 << 1000 << ContentSearchOutcome::Stopped;
    // nothing is left to search: the file was searched
    QTest::addRow("after the last block") << 10000LL << 0LL << 3 << ContentSearchOutcome::NotFound;
    QTest::addRow("after a hit was found") << 300000LL << 20LL << 1 << ContentSearchOutcome::Found;
}

// The stop comes from a handler that runs while pending events are processed, as a click on the
// stop image does: the search must end right after that block.
void tst_ContentSearch::stopRequestEndsTheSearchAtTheNextBlock()
{
    QFETCH(qint64, size);
    QFETCH(qint64, placedAt);
    QFETCH(int, stopAtBlock);
    TestTree tree;
    const QByteArray path = placedAt > 0
                                ? tree.addSparseFile("big.asm", size, placedAt - 1, partName)
                                : tree.addFile("big.asm", filler(size));
    int blocks = 0;
    bool stopRequested = false;
    platform::setPendingEventsHandler([&] { stopRequested = ++blocks == stopAtBlock; });
    QStringList statuses;

    const ContentSearchResult result = SearchFileForText(
        path, QString::fromLatin1(partName), 1,
        [&statuses](const QString &status) { statuses.append(status); },
        [&stopRequested] { return stopRequested; });

    QTEST(result.outcome, "outcome");
    QCOMPARE(statuses.size(), stopAtBlock);
    QCOMPARE(blocks, stopAtBlock);
}

QTEST_GUILESS_MAIN(tst_ContentSearch)
#include "tst_content_search.moc"
