#include "platform/folder_listing.h"

#include "test_tree.h"
#include "unprivileged_user.h"

#include <QMap>
#include <QTest>
#include <cerrno>
#include <sys/stat.h>

using platform::FileKind;
using platform::FolderListing;

// name -> kind of every entry the listing delivers
using Entries = QMap<QByteArray, FileKind>;

class tst_FolderListing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversEveryEntryWithItsKind_data();
    void deliversEveryEntryWithItsKind();
    void closedWithItsLastShare();
    void folderThatCannotBeListed_data();
    void folderThatCannotBeListed();
    void identityFollowsLinks();
    void readAheadDeliversWhatReadingDoes_data();
    void readAheadDeliversWhatReadingDoes();
    void foldersReadAheadAreTheFirstSubfolders();
};

void tst_FolderListing::deliversEveryEntryWithItsKind_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addRow("every entry") << QByteArray("top");
    QTest::addRow("every entry, trailing /") << QByteArray("top/");
}

void tst_FolderListing::deliversEveryEntryWithItsKind()
{
    QFETCH(QByteArray, folder);
    TestTree tree;
    tree.add({"top/hub.prt.3:x", "top/sub/", "top/.hidden", "top/w\xe4rme.asm.1", "top/to_sub->sub",
              "top/to_file->hub.prt.3", "top/dangling->missing", "top/pipe|"});

    FolderListing listing(tree.path(folder));
    QVERIFY(listing.isOpen());
    Entries entries;
    for (int bound = 1000; listing.next() && bound > 0; --bound)
        entries.insert(listing.name().toByteArray(), listing.kind().kind);
    const Entries expected{
        {".", FileKind::Folder},
        {"..", FileKind::Folder},
        {"hub.prt.3", FileKind::Ordinary},
        {"sub", FileKind::Folder},
        {".hidden", FileKind::Ordinary},
        {"w\xe4rme.asm.1", FileKind::Ordinary},
        {"to_sub", FileKind::Folder},
        {"to_file", FileKind::Ordinary},
        {"dangling", FileKind::Inaccessible},
        {"pipe", FileKind::System},
    };
    QCOMPARE(entries, expected);
}

void tst_FolderListing::closedWithItsLastShare()
{
    TestTree tree;
    tree.addFile("top/hub.prt");
    const QByteArray top = tree.path("top");
    const int before = openDescriptorCount();
    {
        FolderListing listing(top);
        QVERIFY(listing.isOpen());
        QCOMPARE(openDescriptorCount(), before + 1);
        while (listing.next()) {
        }
    }
    QCOMPARE(openDescriptorCount(), before);
    {
        FolderListing listing(top);
        auto shared = listing.folder();
        listing.close();
        QVERIFY(!listing.isOpen());
        QCOMPARE(openDescriptorCount(), before + 1);
        shared.reset();
        QCOMPARE(openDescriptorCount(), before);
    }
}

void tst_FolderListing::folderThatCannotBeListed_data()
{
    QTest::addColumn<QByteArray>("relative");
    QTest::addColumn<int>("error");
    QTest::addRow("missing") << QByteArray("missing") << ENOENT;
    QTest::addRow("a file") << QByteArray("top/hub.prt") << ENOTDIR;
    QTest::addRow("locked") << QByteArray("locked") << EACCES;
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
    QTEST(listing.openError(), "error");
    QVERIFY(!listing.next());
    QVERIFY(listing.name().isEmpty());
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

void tst_FolderListing::readAheadDeliversWhatReadingDoes_data()
{
    QTest::addColumn<int>("failingRead"); // 0: none

    QTest::addRow("every read answers") << 0;
    QTest::addRow("the first read fails") << 1;
    QTest::addRow("the second read fails") << 2;
    QTest::addRow("the third read fails") << 3;
}

// Read ahead (on another thread, for a share) or as it is walked, a listing delivers the same
// entries in the same order, and a read that fails after some of them ends it with its error.
void tst_FolderListing::readAheadDeliversWhatReadingDoes()
{
    QFETCH(int, failingRead);
    TestTree tree;
    for (int i = 0; i < 2000; ++i)
        tree.addFile("top/part_with_a_long_name_" + QByteArray::number(i) + ".asm");
    for (const char *name : {"top/a/", "top/b/", "top/c/"})
        tree.add({name});
    QList<QByteArrayList> names;
    QList<int> errors;
    for (const bool ahead : {false, true}) {
        int reads = 0;
        platform::setListingFault([&] { return ++reads == failingRead ? EIO : 0; });
        FolderListing listing(tree.path("top"));
        if (ahead)
            listing.readAhead();
        QByteArrayList listed;
        for (int bound = 3000; listing.next() && bound > 0; --bound)
            listed.append(listing.name().toByteArray());
        platform::setListingFault({});
        names.append(listed);
        errors.append(listing.listError());
    }

    QCOMPARE(names.last(), names.first());
    QCOMPARE(errors.last(), errors.first());
    QCOMPARE(errors.first(), failingRead == 0 ? 0 : EIO);
    QCOMPARE(names.first().size() == 2005, failingRead == 0);
}

// The first sub-folders among the entries read ahead, in the listing's order.
void tst_FolderListing::foldersReadAheadAreTheFirstSubfolders()
{
    TestTree tree;
    tree.add({"top/1.asm:x", "top/a/", "top/2.asm:x", "top/b/", "top/c/", "top/d->a"});
    FolderListing listing(tree.path("top"));
    QByteArrayList folders;
    while (listing.next()) {
        const QByteArray name = listing.name().toByteArray();
        if (name != "." && name != ".." && listing.kind().kind == FileKind::Folder && name != "d")
            folders.append(name);
    }
    listing.rewind();
    listing.readAhead();

    QCOMPARE(listing.foldersReadAhead(2), folders.first(2));
    QCOMPARE(listing.foldersReadAhead(10), folders);
}

QTEST_GUILESS_MAIN(tst_FolderListing)
#include "tst_folder_listing.moc"
