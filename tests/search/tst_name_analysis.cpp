#include "search/name_analysis.h"

#include "test_tree.h"

#include <QTest>

class tst_NameAnalysis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nameParts_data();
    void nameParts();
    void existenceTests();

private:
    void addRow(const char *name, const QString &path, PathSyntax syntax, const QString &base,
                const QString &type, const QString &revision);
};

void tst_NameAnalysis::addRow(const char *name, const QString &path, PathSyntax syntax,
                              const QString &base, const QString &type, const QString &revision)
{
    QTest::addRow("%s: %s", syntax == PathSyntax::Windows ? "windows" : "posix", name)
        << path << syntax << base << type << revision;
}

void tst_NameAnalysis::nameParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<PathSyntax>("syntax");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("revision");

    const auto s = [](const char *text) { return QString::fromUtf8(text); };
    const auto w = PathSyntax::Windows;
    addRow("revision", s("C:\\cad\\hub.prt.3"), w, s("hub"), s(".prt"), s("3"));
    addRow("no revision", s("C:\\cad\\hub.prt"), w, s("hub"), s(".prt"), s("prt"));
    addRow("no folder", s("hub.asm"), w, s("hub"), s(".asm"), s("asm"));
    addRow("many dots", s("C:\\cad\\a.b.c.d"), w, s("a"), s(".b"), s("d"));
    addRow("no dot", s("C:\\cad\\readme"), w, s("readme"), s(""), s(""));
    addRow("dot in a folder name only", s("C:\\cad.old\\readme"), w, s("readme"), s(""),
           s("old\\readme"));
    addRow("trailing dot", s("C:\\cad\\name."), w, s("name"), s(""), s(""));
    addRow("two dots in a row", s("C:\\cad\\hub..prt"), w, s("hub"), s(".prt"), s("prt"));
    addRow("name begins with a dot", s("C:\\cad\\.prt"), w, s("cad\\"), s(".prt"), s("prt"));
    addRow("no folder, name begins with a dot", s(".prt.3"), w, s(""), s(".prt"), s("3"));
    addRow("trailing separator", s("C:\\cad\\"), w, s("cad\\"), s(""), s(""));
    addRow("trailing separator, dotted folder", s("C:\\a\\b.c\\"), w, s("b"), s(".c\\"), s("c\\"));
    addRow("drive only", s("C:"), w, s(""), s(""), s(""));
    addRow("empty", s(""), w, s(""), s(""), s(""));
    addRow("drive without folder", s("C:hub.prt.3"), w, s("hub"), s(".prt"), s("3"));
    addRow("network path", s("\\\\server\\cad\\hub.prt.3"), w, s("hub"), s(".prt"), s("3"));
    addRow("forward slashes are no separators", s("C:\\cad/x\\a/hub.prt"), w, s("a/hub"), s(".prt"),
           s("prt"));

    const auto p = PathSyntax::Posix;
    addRow("revision", s("/cad/hub.prt.3"), p, s("hub"), s(".prt"), s("3"));
    addRow("no revision", s("/cad/hub.prt"), p, s("hub"), s(".prt"), s("prt"));
    addRow("no folder", s("hub.asm"), p, s("hub"), s(".asm"), s("asm"));
    addRow("many dots", s("/cad/a.b.c.d"), p, s("a"), s(".b"), s("d"));
    addRow("no dot", s("/cad/readme"), p, s("readme"), s(""), s(""));
    addRow("dot in a folder name only", s("/cad.old/readme"), p, s("readme"), s(""),
           s("old/readme"));
    addRow("trailing dot", s("/cad/name."), p, s("name"), s(""), s(""));
    addRow("two dots in a row", s("/cad/hub..prt"), p, s("hub"), s(".prt"), s("prt"));
    addRow("name begins with a dot", s("/cad/.prt"), p, s("cad/"), s(".prt"), s("prt"));
    addRow("no folder, name begins with a dot", s(".prt.3"), p, s(""), s(".prt"), s("3"));
    addRow("trailing separator", s("/cad/"), p, s("cad/"), s(""), s(""));
    addRow("trailing separator, dotted folder", s("/a/b.c/"), p, s("b"), s(".c/"), s("c/"));
    addRow("root only", s("/"), p, s("/"), s(""), s(""));
    addRow("empty", s(""), p, s(""), s(""), s(""));
    addRow("no drive prefix", s("C:hub.prt.3"), p, s("C:hub"), s(".prt"), s("3"));
    addRow("backslashes are no separators", s("/cad/x\\hub.prt"), p, s("x\\hub"), s(".prt"),
           s("prt"));
    addRow("non-ASCII name", s("/cad/wärme.asm.12"), p, s("wärme"), s(".asm"), s("12"));
}

void tst_NameAnalysis::nameParts()
{
    QFETCH(QString, path);
    QFETCH(PathSyntax, syntax);
    QFETCH(QString, base);
    QFETCH(QString, type);
    QFETCH(QString, revision);

    QCOMPARE(Zerlege(path, syntax), base);
    QCOMPARE(GetExt(path, syntax), type);
    QCOMPARE(getnum(path), revision);
}

void tst_NameAnalysis::existenceTests()
{
    TestTree tree;
    const QByteArray file = tree.addFile("hub.prt", "x");
    const QByteArray empty = tree.addFile("empty.prt");
    const QByteArray latin1 = tree.addFile("w\xe4rme.asm", "x");
    const QByteArray folder = tree.addFolder("sub");
    const QByteArray linkToFolder = tree.addSymlink("to_sub", "sub");
    const QByteArray missing = tree.path("missing");

    QVERIFY(FileExists(file));
    QVERIFY(FileExists(empty));
    QVERIFY(FileExists(latin1));
    QVERIFY(!FileExists(missing));
    QVERIFY(!FileExists(QByteArray()));

    QVERIFY(DirExists(folder));
    QVERIFY(DirExists(linkToFolder));
    QVERIFY(DirExists(tree.root() + '/'));
    QVERIFY(!DirExists(file));
    QVERIFY(!DirExists(missing));
    QVERIFY(!DirExists(QByteArray()));
}

QTEST_GUILESS_MAIN(tst_NameAnalysis)
#include "tst_name_analysis.moc"
