#include "index/index_location.h"
#include "index/sqlite_store.h"
#include "indexd/folder_refresh.h"
#include "platform/folder_listing.h"
#include "platform/system_error.h"

#include "test_tree.h"

#include <QScopeGuard>
#include <QTest>
#include <cerrno>

class tst_FolderRefresh : public QObject
{
    Q_OBJECT

private slots:
    void listingCutShortKeepsTheRecord_data();
    void listingCutShortKeepsTheRecord();
};

void tst_FolderRefresh::listingCutShortKeepsTheRecord_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("failingRead");
    QTest::addRow("at once") << 3 << 1;
    // more entries than one read of the listing delivers
    QTest::addRow("halfway") << 3000 << 2;
}

void tst_FolderRefresh::listingCutShortKeepsTheRecord()
{
    QFETCH(int, files);
    QFETCH(int, failingRead);
    TestTree tree;
    for (int i = 0; i < files; ++i)
        tree.addFile("a/part_with_a_long_name_" + QByteArray::number(i) + ".asm", "HUB");
    SqliteStore store(tree.path("index.db"), SqliteStore::Mode::Write);
    const QByteArray folder = tree.path("a");
    const QByteArray key = folderKey(folder);
    const auto recorded = [&] { return store.filesIn(key).files().size(); };
    QVERIFY(refreshFolder(store, folder, {}).unlisted.isEmpty());
    QCOMPARE(recorded(), size_t(files));
    tree.addFile("a/new.asm", "HUB");

    bool failing = true;
    int reads = 0; // of the listing under way
    platform::setListingFault([&] { return failing && ++reads == failingRead ? EIO : 0; });
    const auto noFault = qScopeGuard([] { platform::setListingFault({}); });
    QCOMPARE(refreshFolder(store, folder, {}).unlisted, platform::systemErrorText(EIO));
    reads = 0;
    QCOMPARE(refreshFiles(store, folder, {"new.asm"}, {}).unlisted, platform::systemErrorText(EIO));
    QCOMPARE(recorded(), size_t(files));

    failing = false;
    QVERIFY(refreshFiles(store, folder, {"new.asm"}, {}).unlisted.isEmpty());
    QCOMPARE(recorded(), size_t(files + 1));
}

QTEST_GUILESS_MAIN(tst_FolderRefresh)
#include "tst_folder_refresh.moc"
