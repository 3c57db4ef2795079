#include "index/file_record.h"
#include "index/folder_record.h"
#include "index/index_store.h"
#include "index/run_grams.h"
#include "index/runs_matcher.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

class tst_FileRecord : public QObject
{
    Q_OBJECT

private slots:
    void runsAcrossChunks_data();
    void runsAcrossChunks();
    void runsOfAnyChunkingAreThoseOfTheWhole();
    void piecesOfTexts_data();
    void piecesOfTexts();
    void runsTellWhichTextsAFileHolds_data();
    void runsTellWhichTextsAFileHolds();
    void folderRecordKeepsEverySignature();
    void gramKeysPassEveryRunHoldingANeedle_data();
    void gramKeysPassEveryRunHoldingANeedle();
};

void tst_FileRecord::runsAcrossChunks_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<bool>("overLimit");
    QTest::addRow("runs between noise")
        << QByteArrayList{"\1WELLE_0815\xff\xfe"
                          "ab\2HUB-3."}
        << qsizetype(100) << QByteArray("HUB-3.\nWELLE_0815\n") << false;
    QTest::addRow("a run over three chunks")
        << QByteArrayList{"\1WEL", "LE", "_0815\1"} << qsizetype(100) << QByteArray("WELLE_0815\n")
        << false;
    QTest::addRow("a short run cut by the chunk's end joins the next")
        << QByteArrayList{"\1W", "E\1"} << qsizetype(100) << QByteArray() << false;
    QTest::addRow("a run at the file's end")
        << QByteArrayList{"\1", "ABCD"} << qsizetype(100) << QByteArray("ABCD\n") << false;
    QTest::addRow("a run held twice is kept once")
        << QByteArrayList{"HUB_4 WELLE_0815 HUB_4\1", "WELLE_0815"} << qsizetype(100)
        << QByteArray("HUB_4\nWELLE_0815\n") << false;
    QTest::addRow("runs of three are noise")
        << QByteArrayList{"\1ab\2xyz\3"} << qsizetype(100) << QByteArray() << false;
    QTest::addRow("bytes beyond ASCII end a run")
        << QByteArrayList{"GEHE\xc3\x84USEN"} << qsizetype(100) << QByteArray("GEHE\nUSEN\n")
        << false;
    QTest::addRow("too many runs: always read")
        << QByteArrayList{"AAAA BBBB CCCC"} << qsizetype(9) << QByteArray() << true;
}

// A run split over the chunks of a read is kept whole: a text inside it must still be found.
void tst_FileRecord::runsAcrossChunks()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(qsizetype, limit);
    QFETCH(QByteArray, runs);
    QFETCH(bool, overLimit);
    RunCollector collector(limit);
    for (const QByteArray &chunk : chunks)
        collector.add(chunk);
    QCOMPARE(collector.runs(), runs);
    QCOMPARE(collector.isOverLimit(), overLimit);
}

// Runs are found 64 bytes at a time: whatever the chunks and wherever a run meets a block's
// edge, they are the runs of the bytes read whole.
void tst_FileRecord::runsOfAnyChunkingAreThoseOfTheWhole()
{
    QRandomGenerator random(815);
    const QByteArray alphabet = QByteArrayLiteral("AZaz09_-.\x00\x7f\x80\xff /@[`{");
    for (int file = 0; file < 200; ++file) {
        QByteArray bytes(random.bounded(1, 600), Qt::Uninitialized);
        // long stretches of one kind of byte, so runs cross blocks and chunks
        const bool names = random.bounded(2);
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            bytes[i] = names && random.bounded(8) ? 'N' : alphabet[random.bounded(alphabet.size())];
        }
        QByteArrayList pieces = namePieces(bytes);
        std::sort(pieces.begin(), pieces.end());
        pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
        const QByteArray expected = pieces.isEmpty() ? QByteArray() : pieces.join('\n') + '\n';

        RunCollector collector(1 << 20);
        for (qsizetype at = 0; at < bytes.size();) {
            const qsizetype length = std::min(bytes.size() - at, qsizetype(random.bounded(1, 200)));
            collector.add(QByteArrayView(bytes).sliced(at, length));
            at += length;
        }
        QCOMPARE(collector.runs(), expected);
    }
}

void tst_FileRecord::piecesOfTexts_data()
{
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<bool>("exact");
    QTest::addRow("a whole name") << QByteArray("WELLE_0815") << QByteArrayList{"WELLE_0815"}
                                  << true;
    QTest::addRow("too short") << QByteArray("WE") << QByteArrayList{} << false;
    QTest::addRow("UTF-8 letter") << QByteArray("GEHE\xc3\x84USEN")
                                  << QByteArrayList{"GEHE", "USEN"} << false;
    QTest::addRow("Windows-1252 letter, a short piece")
        << QByteArray("\xc4US") << QByteArrayList{} << false;
    QTest::addRow("a space") << QByteArray("LAGER 7") << QByteArrayList{"LAGER"} << false;
}

void tst_FileRecord::piecesOfTexts()
{
    QFETCH(QByteArray, form);
    QFETCH(QByteArrayList, pieces);
    QFETCH(bool, exact);
    QCOMPARE(namePieces(form), pieces);
    QCOMPARE(isAnsweredExactly(form), exact);
}

void tst_FileRecord::runsTellWhichTextsAFileHolds_data()
{
    QTest::addColumn<QList<QByteArrayList>>("texts");
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<QList<qsizetype>>("held");
    QTest::addColumn<bool>("undecided");
    const QList<QByteArrayList> names{{"WELLE_0815"}, {"HUB_4"}};
    QTest::addRow("both, one inside a longer run")
        << names << QByteArray("XWELLE_0815.asm\nHUB_4\n") << QList<qsizetype>{0, 1} << false;
    QTest::addRow("none: a name split over two runs")
        << names << QByteArray("WELLE\n_0815\n") << QList<qsizetype>{} << false;
    const QList<QByteArrayList> beyondAscii{{"GEH\xc3\x84USE_12", "GEH\xc4USE_12"}, {"HUB_4"}};
    QTest::addRow("a text beyond ASCII whose pieces are there: only a read tells")
        << beyondAscii << QByteArray("GEHE\nUSE_12\nHUB_4\n") << QList<qsizetype>{1} << true;
    QTest::addRow("a piece missing: not held")
        << beyondAscii << QByteArray("GEHE\nHUB_4\n") << QList<qsizetype>{1} << false;
}

// A name is held when one run holds it; a text with other bytes is ruled out by a missing piece,
// never found by its pieces alone.
void tst_FileRecord::runsTellWhichTextsAFileHolds()
{
    QFETCH(QList<QByteArrayList>, texts);
    QFETCH(QByteArray, runs);
    QFETCH(QList<qsizetype>, held);
    QFETCH(bool, undecided);
    const RunsMatcher matcher(texts);
    const RunsMatcher::Verdict verdict = matcher.match(runs);
    QCOMPARE(verdict.held, held);
    QCOMPARE(verdict.undecided, undecided);
}

// Times and inodes go in as differences from the file before: any order of them comes back, and
// a record cut short or with a byte changed where a state belongs is damaged, not misread.
void tst_FileRecord::folderRecordKeepsEverySignature()
{
    const QList<RecordedFile> files{
        {"a.asm", {10, 2'000'000'000'000'000'000, 1'000, 900'000}, FileState::Recorded, "HUB_4\n"},
        {"b.asm", {0, 5, 7, 12}, FileState::AlwaysRead, {}},
        {"c.asm", {1LL << 40, -3, 2'000'000'000'000'000'001, ~0ULL}, FileState::Unsettled, {}}};
    const QByteArray bytes = FolderRecord::encode("/f", files);
    const FolderRecord record(bytes, "/f");
    QCOMPARE(record.files().size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const RecordedFile back = record.files().at(i).toRecordedFile();
        QCOMPARE(back.name, files.at(i).name);
        QVERIFY(back.signature == files.at(i).signature);
        QCOMPARE(back.state, files.at(i).state);
        QCOMPARE(back.runs, files.at(i).runs);
    }
    QVERIFY(record.find("b.asm") == &record.files().at(1));
    QVERIFY(!record.find("b.as"));
    QVERIFY_THROWS_EXCEPTION(IndexError, FolderRecord(bytes.chopped(1), "/f"));
    QByteArray wrongState = bytes;
    wrongState[bytes.indexOf("HUB_4") - 2] = char(7);
    QVERIFY_THROWS_EXCEPTION(IndexError, FolderRecord(wrongState, "/f"));
}

void tst_FileRecord::gramKeysPassEveryRunHoldingANeedle_data()
{
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<bool>("passed");
    const QByteArray name = "WELLE_0815.prt";
    // every length from a gram up, at a run's start, end and inside, so that the grams that
    // cover the needle reach its last byte
    for (qsizetype length = gramLength; length <= name.size(); ++length) {
        QTest::addRow("%lld bytes, at the start", length)
            << QByteArray("ab12\n" + name + '\n') << name.first(length) << true;
        QTest::addRow("%lld bytes, at the end", length)
            << QByteArray(name + "\nzz99\n") << name.last(length) << true;
        QTest::addRow("%lld bytes, inside", length)
            << QByteArray("x" + name + "x\n") << name.first(length) << true;
    }
    // the index only narrows: grams of runs 1 and 17 share a slot, and LIKE then rules it out
    QByteArray apart = "WELLE_081\n";
    for (int run = 1; run < gramSlots; ++run)
        apart += "xx" + QByteArray::number(run + 10) + '\n';
    QTest::addRow("every gram, in two runs of one slot")
        << QByteArray(apart + "ELLE_0815\n") << QByteArray("WELLE_0815") << true;
    QTest::addRow("letter case") << QByteArray("welle_0815\nWelle_0815\n")
                                 << QByteArray("WELLE_0815") << false;
    QTest::addRow("- for _") << QByteArray("WELLE-0815\n") << QByteArray("WELLE_0815") << false;
    QTest::addRow("every gram, in two runs")
        << QByteArray("WELLE_081\nELLE_0815\n") << QByteArray("WELLE_0815") << false;
}

// A run that holds a needle has the keys of all its grams in one slot, wherever the needle lies:
// the server's index then never misses a file. Near misses do not.
void tst_FileRecord::gramKeysPassEveryRunHoldingANeedle()
{
    QFETCH(QByteArray, runs);
    QFETCH(QByteArray, needle);
    QFETCH(bool, passed);
    const QList<qint32> keys = runGramKeys(runs);
    const QList<QList<qint32>> bySlot = needleGramKeys(needle);
    QCOMPARE(bySlot.size(), gramSlots);
    const bool inOneSlot =
        std::any_of(bySlot.begin(), bySlot.end(), [&](const QList<qint32> &slot) {
            return std::includes(keys.begin(), keys.end(), slot.begin(), slot.end());
        });
    QCOMPARE(inOneSlot, passed);
}

QTEST_GUILESS_MAIN(tst_FileRecord)
#include "tst_file_record.moc"
