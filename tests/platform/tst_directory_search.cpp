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

using Entries = QMap<QByteArray, bool>;

class tst_DirectorySearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversMatchesWithFolderFlag_data();
    void deliversMatchesWithFolderFlag();
    void closedAtTheEnd();
};

void tst_DirectorySearch::deliversMatchesWithFolderFlag_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<Entries>("expected"); // empty: the search is invalid from the start

    const Entries everyEntry{
        {".", true},      {"..", true},       {"hub.prt.3", false},
        {"sub", true},    {".hidden", false}, {"w\xe4rme.asm.1", false},
        {"to_sub", true}, {"to_file", false}, {"dangling", false},
        {"pipe", false},
    };
    QTest::addRow("every entry") << QByteArray("top") << QByteArray("*") << everyEntry;
    QTest::addRow("every entry, trailing /") << QByteArray("top/") << QByteArray("*") << everyEntry;
    QTest::addRow("only matches") << QByteArray("asm") << QByteArray("*.asm*")
                                  << Entries{{"HUB.ASM.3", false},
                                             {"w\xe4rme.asm", false},
                                             {"old.asm", true}};
    QTest::addRow("missing folder") << QByteArray("missing") << QByteArray("*") << Entries{};
    QTest::addRow("a file, not a folder")
        << QByteArray("asm/hub.prt") << QByteArray("*") << Entries{};
    QTest::addRow("nothing matches") << QByteArray("top") << QByteArray("*.drw*") << Entries{};
    QTest::addRow("unreadable folder") << QByteArray("locked") << QByteArray("*") << Entries{};
}

void tst_DirectorySearch::deliversMatchesWithFolderFlag()
{
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, pattern);
    TestTree tree;
    tree.add({"top/hub.prt.3:x", "top/sub/", "top/.hidden", "top/w\xe4rme.asm.1", "top/to_sub->sub",
              "top/to_file->hub.prt.3", "top/dangling->missing", "top/pipe|", "asm/HUB.ASM.3",
              "asm/hub.prt", "asm/w\xe4rme.asm", "asm/old.asm/", "locked/hub.prt"});
    QCOMPARE(::chmod(tree.path("locked").constData(), 0), 0);
    const UnprivilegedUser user(tree);

    QTEST(listing(tree.path(folder), pattern), "expected");
    DirectorySearch search(tree.path(folder), WildcardPattern(pattern));
    if (!search.isValid()) {
        QVERIFY(!search.findNext());
        QVERIFY(search.name().isEmpty());
    }
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
