#include "main_window/result_list.h"

#include <QTest>

class tst_ResultList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void purgeBlanksAllButTheLastOfEachGroup_data();
    void purgeBlanksAllButTheLastOfEachGroup();
    void whatsfoundLiesInTheWorkingFolder_data();
    void whatsfoundLiesInTheWorkingFolder();
    void whatsfoundLines_data();
    void whatsfoundLines();
};

void tst_ResultList::purgeBlanksAllButTheLastOfEachGroup_data()
{
    QTest::addColumn<QByteArrayList>("entries");
    QTest::addColumn<QList<int>>("blanked");
    QTest::addRow("empty list") << QByteArrayList{} << QList<int>{};
    QTest::addRow("one entry") << QByteArrayList{"/a/hub.prt.3"} << QList<int>{};
    QTest::addRow("same version in two folders, twice")
        << QByteArrayList{"/a/hub.prt.3", "/b/hub.prt.3", "/a/hub.prt.3"} << QList<int>{0, 1};
    QTest::addRow("no revision counts as 0")
        << QByteArrayList{"/a/hub.prt", "/b/hub.prt"} << QList<int>{0};
    QTest::addRow("revision that is no number equals 0")
        << QByteArrayList{"/a/hub.prt.0", "/a/hub.prt.alt"} << QList<int>{0};
    QTest::addRow("leading zeros")
        << QByteArrayList{"/a/hub.prt.1", "/a/hub.prt.01"} << QList<int>{0};
    QTest::addRow("leading blanks and a tail after the number")
        << QByteArrayList{"/a/hub.prt.  7", "/b/hub.prt.7b"} << QList<int>{0};
    QTest::addRow("more digits than any integer holds, equal")
        << QByteArrayList{"/a/hub.prt.000000000000000000001", "/a/hub.prt.1"} << QList<int>{0};
    QTest::addRow("more digits than any integer holds, different")
        << QByteArrayList{"/a/hub.prt.100000000000000000000000001",
                          "/a/hub.prt.100000000000000000000000002"}
        << QList<int>{};
    QTest::addRow("sign") << QByteArrayList{"/a/hub.prt.-1", "/a/hub.prt.+1", "/a/hub.prt.1",
                                            "/a/hub.prt.-0", "/a/hub.prt"}
                          << QList<int>{1, 3};
    QTest::addRow("base names differ in case")
        << QByteArrayList{"/a/hub.prt.1", "/a/HUB.prt.1"} << QList<int>{};
    QTest::addRow("different revisions")
        << QByteArrayList{"/a/hub.prt.1", "/a/hub.prt.2"} << QList<int>{};
    QTest::addRow("different types")
        << QByteArrayList{"/a/hub.prt.1", "/a/hub.asm.1"} << QList<int>{};
    QTest::addRow("groups interleaved")
        << QByteArrayList{"/a/hub.prt.1", "/a/nabe.asm", "/b/hub.prt.1",
                          "/c/hub.prt.2", "/b/nabe.asm", "/c/hub.prt.1"}
        << QList<int>{0, 1, 2};
    QTest::addRow("blank entries stay and separate nothing")
        << QByteArrayList{"", "/a/hub.prt.1", "", "/b/hub.prt.1", ""} << QList<int>{1};
    QTest::addRow("names not valid in the local encoding stay apart")
        << QByteArrayList{"/a/w\xe4rme.prt.1", "/a/w\xf6rme.prt.1", "/b/w\xe4rme.prt.1"}
        << QList<int>{0};
    QTest::addRow("no dot at all") << QByteArrayList{"/a/readme", "/b/readme"} << QList<int>{0};
}

void tst_ResultList::purgeBlanksAllButTheLastOfEachGroup()
{
    QFETCH(QByteArrayList, entries);
    QTEST(duplicatePositions(entries), "blanked");
}

void tst_ResultList::whatsfoundLiesInTheWorkingFolder_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("path");
    QTest::addRow("folder") << QByteArray("/cad") << QByteArray("/cad/whatsfound.txt");
    QTest::addRow("short folder") << QByteArray("/ab") << QByteArray("/ab/whatsfound.txt");
    QTest::addRow("root") << QByteArray("/") << QByteArray("/whatsfound.txt");
    QTest::addRow("trailing slash") << QByteArray("/cad/") << QByteArray("/cad/whatsfound.txt");
    QTest::addRow("not valid UTF-8")
        << QByteArray("/cad/w\xe4rme") << QByteArray("/cad/w\xe4rme/whatsfound.txt");
    QTest::addRow("unknown folder") << QByteArray() << QByteArray("whatsfound.txt");
}

void tst_ResultList::whatsfoundLiesInTheWorkingFolder()
{
    QFETCH(QByteArray, folder);
    QTEST(whatsfoundPath(folder), "path");
}

void tst_ResultList::whatsfoundLines_data()
{
    const QByteArray header = "------Auflistung der Dateien:------\r\n"
                              "-----------------------------------\r\n";
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QString>("criterion");
    QTest::addColumn<QByteArrayList>("entries");
    QTest::addColumn<QByteArray>("contents");
    QTest::addRow("empty list: the header alone")
        << QStringLiteral("HUB") << QStringLiteral("asm") << QByteArrayList{}
        << "Datei: HUB\r\nist vorhanden in Dateien den Typs : asm\r\n" + header;
    QTest::addRow("texts in the local encoding, paths as their bytes")
        << QStringLiteral("Stück") << QStringLiteral("drw") << QByteArrayList{"/a/w\xe4rme.drw"}
        << QStringLiteral("Datei: Stück\r\n").toLocal8Bit() +
               "ist vorhanden in Dateien den Typs : drw\r\n" + header + "/a/w\xe4rme.drw\r\n";
}

void tst_ResultList::whatsfoundLines()
{
    QFETCH(QString, searchText);
    QFETCH(QString, criterion);
    QFETCH(QByteArrayList, entries);
    QTEST(whatsfoundContents(searchText, criterion, entries), "contents");
}

QTEST_APPLESS_MAIN(tst_ResultList)
#include "tst_result_list.moc"
