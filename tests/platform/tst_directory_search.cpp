#include "platform/directory_search.h"

#include "test_tree.h"
#include "unprivileged_user.h"

#include <QMap>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using platform::DirectorySearch;
using platform::WildcardPattern;

namespace {

// name -> folder flag of every entry the search delivers
QMap<QByteArray, bool> listing(const QByteArray &folder, const QByteArray &pattern)
{
    QMap<QByteArray, bool> entries;
    DirectorySearch search(folder, WildcardPattern(pattern));
    for (int bound = 1000; search.isValid() && bound > 0; --bound) {
        entries.insert(search.name().toByteArray(), search.isFolder());
        search.findNext();
    }
    return entries;
}

} // namespace

class tst_DirectorySearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversEveryEntryWithFolderFlag();
    void deliversOnlyMatches();
    void invalidWhenNothingToList_data();
    void invalidWhenNothingToList();
    void unreadableFolderGivesNoListing();
    void closedAtTheEnd();
};

void tst_DirectorySearch::deliversEveryEntryWithFolderFlag()
{
    TestTree tree;
    tree.addFile("top/hub.prt.3", "x");
    tree.addFolder("top/sub");
    tree.addFile("top/.hidden");
    tree.addFile("top/w\xe4rme.asm.1");
    tree.addSymlink("top/to_sub", "sub");
    tree.addSymlink("top/to_file", "hub.prt.3");
    tree.addSymlink("top/dangling", "missing");
    tree.addFifo("top/pipe");

    const QMap<QByteArray, bool> expected{
        {".", true},      {"..", true},       {"hub.prt.3", false},
        {"sub", true},    {".hidden", false}, {"w\xe4rme.asm.1", false},
        {"to_sub", true}, {"to_file", false}, {"dangling", false},
        {"pipe", false},
    };
    QCOMPARE(listing(tree.path("top"), "*"), expected);
    QCOMPARE(listing(tree.path("top/"), "*"), expected);
}

void tst_DirectorySearch::deliversOnlyMatches()
{
    TestTree tree;
    tree.addFile("top/HUB.ASM.3");
    tree.addFile("top/hub.prt");
    tree.addFile("top/w\xe4rme.asm");
    tree.addFolder("top/old.asm");

    const QMap<QByteArray, bool> expected{
        {"HUB.ASM.3", false}, {"w\xe4rme.asm", false}, {"old.asm", true}};
    QCOMPARE(listing(tree.path("top"), "*.asm*"), expected);
}

void tst_DirectorySearch::invalidWhenNothingToList_data()
{
    QTest::addColumn<QByteArray>("relative");
    QTest::addColumn<QByteArray>("pattern");

    QTest::addRow("missing folder") << QByteArray("missing") << QByteArray("*");
    QTest::addRow("a file, not a folder") << QByteArray("top/hub.prt") << QByteArray("*");
    QTest::addRow("nothing matches") << QByteArray("top") << QByteArray("*.drw*");
}

void tst_DirectorySearch::invalidWhenNothingToList()
{
    QFETCH(QByteArray, relative);
    QFETCH(QByteArray, pattern);
    TestTree tree;
    tree.addFile("top/hub.prt");

    DirectorySearch search(tree.path(relative), WildcardPattern(pattern));
    QVERIFY(!search.isValid());
    QVERIFY(!search.findNext());
    QVERIFY(search.name().isEmpty());
}

void tst_DirectorySearch::unreadableFolderGivesNoListing()
{
    TestTree tree;
    tree.addFile("locked/hub.prt");
    QCOMPARE(::chmod(tree.path("locked").constData(), 0), 0);
    const UnprivilegedUser user(tree);

    QVERIFY(!DirectorySearch(tree.path("locked"), WildcardPattern("*")).isValid());
}

void tst_DirectorySearch::closedAtTheEnd()
{
    TestTree tree;
    tree.addFile("top/hub.prt");
    const QByteArray top = tree.path("top");
    const int before = openDescriptorCount();
    {
        DirectorySearch search(top, WildcardPattern("*"));
        QVERIFY(search.isValid());
        QCOMPARE(openDescriptorCount(), before + 1);
        while (search.findNext()) {
        }
        QCOMPARE(openDescriptorCount(), before);
    }
    {
        DirectorySearch search(top, WildcardPattern("*"));
        QVERIFY(search.isValid());
    }
    QCOMPARE(openDescriptorCount(), before);
}

QTEST_GUILESS_MAIN(tst_DirectorySearch)
#include "tst_directory_search.moc"
