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
};

namespace {

void addRow(const char *name, const QByteArray &path, PathSyntax syntax, const QByteArray &base,
            const QByteArray &type, const QByteArray &revision)
{
    QTest::addRow("%s: %s", syntax == PathSyntax::Windows ? "windows" : "posix", name)
        << QString::fromUtf8(path) << syntax << QString::fromUtf8(base) << QString::fromUtf8(type)
        << QString::fromUtf8(revision);
}

// A row for both syntaxes: the Windows path as written, the POSIX one without the drive and with
// "/" for "\\", in the path and in what comes back.
void addRows(const char *name, const char *path, const char *base, const char *type,
             const char *revision)
{
    addRow(name, path, PathSyntax::Windows, base, type, revision);
    const auto posix = [](const char *text) {
        return QByteArray(text).replace("C:", "").replace('\\', '/');
    };
    addRow(name, posix(path), PathSyntax::Posix, posix(base), posix(type), posix(revision));
}

} // namespace

void tst_NameAnalysis::nameParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<PathSyntax>("syntax");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("revision");

    addRows("revision", "C:\\cad\\hub.prt.3", "hub", ".prt", "3");
    addRows("no revision", "C:\\cad\\hub.prt", "hub", ".prt", "prt");
    addRows("no folder", "hub.asm", "hub", ".asm", "asm");
    addRows("many dots", "C:\\cad\\a.b.c.d", "a", ".b", "d");
    addRows("no dot", "C:\\cad\\readme", "readme", "", "");
    addRows("dot in a folder name only", "C:\\cad.old\\readme", "readme", "", "old\\readme");
    addRows("trailing dot", "C:\\cad\\name.", "name", "", "");
    addRows("two dots in a row", "C:\\cad\\hub..prt", "hub", ".prt", "prt");
    addRows("name begins with a dot", "C:\\cad\\.prt", "cad\\", ".prt", "prt");
    addRows("no folder, name begins with a dot", ".prt.3", "", ".prt", "3");
    addRows("trailing separator", "C:\\cad\\", "cad\\", "", "");
    addRows("trailing separator, dotted folder", "C:\\a\\b.c\\", "b", ".c\\", "c\\");
    addRows("empty", "", "", "", "");

    const auto w = PathSyntax::Windows;
    addRow("drive only", "C:", w, "", "", "");
    addRow("drive without folder", "C:hub.prt.3", w, "hub", ".prt", "3");
    addRow("network path", "\\\\server\\cad\\hub.prt.3", w, "hub", ".prt", "3");
    addRow("forward slashes are no separators", "C:\\cad/x\\a/hub.prt", w, "a/hub", ".prt", "prt");

    const auto p = PathSyntax::Posix;
    addRow("root only", "/", p, "/", "", "");
    addRow("no drive prefix", "C:hub.prt.3", p, "C:hub", ".prt", "3");
    addRow("backslashes are no separators", "/cad/x\\hub.prt", p, "x\\hub", ".prt", "prt");
    addRow("non-ASCII name", "/cad/wärme.asm.12", p, "wärme", ".asm", "12");
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
