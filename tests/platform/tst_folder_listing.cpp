#include "platform/folder_listing.h"

#include "test_tree.h"
#include "unprivileged_user.h"

#include <QTest>
#include <cerrno>
#include <sys/stat.h>

using platform::FolderListing;

class tst_FolderListing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folderThatCannotBeListed_data();
    void folderThatCannotBeListed();
    void identityFollowsLinks();
};

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

QTEST_GUILESS_MAIN(tst_FolderListing)
#include "tst_folder_listing.moc"
