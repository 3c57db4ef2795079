#include "where_used/searched_folders.h"
#include "where_used/where_used_export.h"
#include "where_used/where_used_graph.h"

#include "test_tree.h"
#include "where_used_tree.h"

#include <QTest>

// The exports of a tree, named the folders searched, with a stale parent, a cycle, a file used
// twice and a folder name that a spreadsheet would split, byte for byte.
class tst_WhereUsedExport : public QObject
{
    Q_OBJECT

private slots:
    void exports_data();
    void exports();
    void exportPathKeepsTheFolder();
};

void tst_WhereUsedExport::exports_data()
{
    QTest::addColumn<bool>("csv");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("text") << false
                          << QByteArray("Gesucht in: ROOT, ROOT/fehlt;x – mit "
                                        "Unterverzeichnissen\r\n"
                                        "\r\n"
                                        "HUB\r\n"
                                        "  getriebe.asm.1  ROOT/  (veraltet)\r\n"
                                        "    motor.asm  ROOT/\r\n"
                                        "      getriebe.asm.2  ROOT/  (Kreisbezug)\r\n"
                                        "  rahmen.asm  ROOT/Teile \"alt\";x/\r\n"
                                        "    rahmen.drw  ROOT/\r\n"
                                        "  welle1.asm  ROOT/\r\n"
                                        "    top.asm  ROOT/\r\n"
                                        "      top.drw  ROOT/\r\n"
                                        "  welle2.asm  ROOT/\r\n"
                                        "    top.asm  ROOT/  (wie oben)\r\n");
    QTest::addRow("csv") << true
                         << QByteArray("Gesucht in;ROOT;\"ROOT/fehlt;x\"\r\n"
                                       "Unterverzeichnisse;ja\r\n"
                                       "Ebene;Name;Typ;Revision;Pfad;Vermerk\r\n"
                                       "0;HUB;;;;\r\n"
                                       "1;getriebe;asm;1;ROOT/getriebe.asm.1;veraltet\r\n"
                                       "2;motor;asm;;ROOT/motor.asm;\r\n"
                                       "3;getriebe;asm;2;ROOT/getriebe.asm.2;Kreisbezug\r\n"
                                       "1;rahmen;asm;;\"ROOT/Teile \"\"alt\"\";x/rahmen.asm\";\r\n"
                                       "2;rahmen;drw;;ROOT/rahmen.drw;\r\n"
                                       "1;welle1;asm;;ROOT/welle1.asm;\r\n"
                                       "2;top;asm;;ROOT/top.asm;\r\n"
                                       "3;top;drw;;ROOT/top.drw;\r\n"
                                       "1;welle2;asm;;ROOT/welle2.asm;\r\n"
                                       "2;top;asm;;ROOT/top.asm;wie oben\r\n");
}

void tst_WhereUsedExport::exports()
{
    QFETCH(bool, csv);
    QFETCH(QByteArray, expected);

    TestTree folder;
    folder.add({"getriebe.asm.1:HUB", "motor.asm:GETRIEBE", "getriebe.asm.2:MOTOR",
                "Teile \"alt\";x/rahmen.asm:HUB", "rahmen.drw:RAHMEN", "welle1.asm:HUB",
                "welle2.asm:HUB", "top.asm:WELLE1 WELLE2", "top.drw:TOP"});
    const std::unique_ptr<WhereUsedGraph> graph = searchedGraph(folder, QStringLiteral("HUB"));
    const SearchedFolders searched{{folder.root(), folder.root() + "/fehlt;x"}, true, {}};
    const QByteArray written =
        csv ? whereUsedCsv(*graph, false, searched) : whereUsedText(*graph, false, searched);
    QCOMPARE(written, expected.replace("ROOT", folder.root()));
}

void tst_WhereUsedExport::exportPathKeepsTheFolder()
{
    QCOMPARE(exportPath("/cad/teile", QStringLiteral("A/B"), "csv"),
             QByteArray("/cad/teile/Verwendung_A_B.csv"));
}

QTEST_GUILESS_MAIN(tst_WhereUsedExport)
#include "tst_where_used_export.moc"
