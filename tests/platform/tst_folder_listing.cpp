#include "platform/folder_listing.h"

#include "test_tree.h"
#include "unprivileged_user.h"

#include <QMap>
#include <QTest>
#include <sys/stat.h>

using platform::FileKind;
using platform::FolderListing;

namespace {

// name -> kind of every entry the listing delivers but "." and ".."
QMap<QByteArray, FileKind> kinds(FolderListing &listing)
{
    QMap<QByteArray, FileKind> entries;
    for (int bound = 10000; listing.next() && bound > 0; --bound) {
        if (listing.name() != "." && listing.name() != "..")
            entries.insert(listing.name().toByteArray(), listing.kind().kind);
    }
    return entries;
}

} // namespace

class tst_FolderListing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversEveryEntryWithItsKind();
    void listsAgainFromTheStart();
    void folderThatCannotBeListed_data();
    void folderThatCannotBeListed();
    void identityFollowsLinks();
    void folderStaysOpenWhileShared();
};

void tst_FolderListing::deliversEveryEntryWithItsKind()
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
    tree.addSocket("top/socket");
    FolderListing listing(tree.path("top"));

    // hidden names are the content search's rule, not the listing's
    const QMap<QByteArray, FileKind> expected{
        {"hub.prt.3", FileKind::Ordinary}, {"sub", FileKind::Folder},
        {".hidden", FileKind::Ordinary},   {"w\xe4rme.asm.1", FileKind::Ordinary},
        {"to_sub", FileKind::Folder},      {"to_file", FileKind::Ordinary},
        {"dangling", FileKind::System},    {"pipe", FileKind::System},
        {"socket", FileKind::System},
    };
    QCOMPARE(kinds(listing), expected);
    QVERIFY(!listing.next());
}

void tst_FolderListing::listsAgainFromTheStart()
{
    TestTree tree;
    // more entries than one read of the listing takes
    for (int i = 0; i < 2000; ++i)
        tree.addFile("top/part_" + QByteArray::number(i) + "_with_a_long_name.prt");
    FolderListing listing(tree.path("top"));

    const QMap<QByteArray, FileKind> first = kinds(listing);
    listing.rewind();
    QCOMPARE(first.size(), 2000);
    QCOMPARE(kinds(listing), first);
}

void tst_FolderListing::folderThatCannotBeListed_data()
{
    QTest::addColumn<QByteArray>("relative");
    QTest::addRow("missing") << QByteArray("missing");
    QTest::addRow("a file") << QByteArray("top/hub.prt");
    QTest::addRow("locked") << QByteArray("locked");
}

void tst_FolderListing::folderThatCannotBeListed()
{
    QFETCH(QByteArray, relative);
    TestTree tree;
    tree.addFile("top/hub.prt");
    tree.addFile("locked/hub.prt");
    QCOMPARE(::chmod(tree.path("locked").constData(), 0), 0);
    const UnprivilegedUser user(tree);

    FolderListing listing(tree.path(relative));
    QVERIFY(!listing.isOpen());
    QVERIFY(!listing.next());
    QCOMPARE(listing.identity(), std::nullopt);
}

void tst_FolderListing::identityFollowsLinks()
{
    TestTree tree;
    tree.addFolder("a/b");
    tree.addSymlink("c", "a/b");
    tree.addFolder("a/d");

    const auto identity = [&tree](const QByteArray &relative) {
        return FolderListing(tree.path(relative)).identity();
    };
    QVERIFY(identity("a/b").has_value());
    QCOMPARE(identity("c"), identity("a/b"));
    QCOMPARE(identity("a/b/../b/"), identity("a/b"));
    QVERIFY(identity("a/d") != identity("a/b"));
}

void tst_FolderListing::folderStaysOpenWhileShared()
{
    TestTree tree;
    tree.addFile("top/hub.prt");
    const int before = openDescriptorCount();
    std::shared_ptr<const platform::OpenFolder> shared;
    {
        FolderListing listing(tree.path("top"));
        shared = listing.folder();
        listing.close();
        QCOMPARE(openDescriptorCount(), before + 1);
    }
    QCOMPARE(openDescriptorCount(), before + 1);
    shared.reset();
    QCOMPARE(openDescriptorCount(), before);
}

QTEST_GUILESS_MAIN(tst_FolderListing)
#include "tst_folder_listing.moc"
