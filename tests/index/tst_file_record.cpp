#include "index/file_record.h"

#include <QTest>

class tst_FileRecord : public QObject
{
    Q_OBJECT

private slots:
    void runsAcrossChunks_data();
    void runsAcrossChunks();
    void piecesOfTexts_data();
    void piecesOfTexts();
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

QTEST_GUILESS_MAIN(tst_FileRecord)
#include "tst_file_record.moc"
