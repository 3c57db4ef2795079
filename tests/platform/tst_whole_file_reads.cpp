#include "platform/whole_file_reads.h"

#include "test_tree.h"

#include <QTest>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using File = platform::WholeFileReads::File;
using platform::WholeFileReads;

class tst_WholeFileReads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void takesOnlyWhatIsCertain_data();
    void takesOnlyWhatIsCertain();
    void ringRefusedLeavesEveryFileToTheUsualWay();
};

void tst_WholeFileReads::takesOnlyWhatIsCertain_data()
{
    QTest::addColumn<QByteArray>("entry"); // as TestTree::add writes it; "x" alone: no entry
    QTest::addColumn<qint64>("size");      // of a file made with that many bytes
    QTest::addColumn<bool>("evicted");
    QTest::addColumn<int>("outcome");

    const auto file = [](const char *name, qint64 size, bool evicted, File::Outcome outcome) {
        QTest::addRow("%s", name) << QByteArray("x") << size << evicted << int(outcome);
    };
    file("one byte", 1, false, File::Whole);
    file("a page less one", 4095, false, File::Whole);
    // a read that ends on a page may have stopped before a page not in memory
    file("a page", 4096, false, File::Unknown);
    file("a page and one", 4097, false, File::Whole);
    file("the room less one", WholeFileReads::room - 1, false, File::Whole);
    file("the room", WholeFileReads::room, false, File::Unknown);
    file("larger than the room", 3 * WholeFileReads::room + 5, false, File::Unknown);
    file("empty", 0, false, File::Unknown);
    file("not in memory", 3000, true, File::NotInMemory);
    QTest::addRow("gone") << QByteArray() << qint64(0) << false << int(File::Unknown);
    QTest::addRow("a FIFO") << QByteArray("x|") << qint64(0) << false << int(File::Unknown);
    QTest::addRow("a folder") << QByteArray("x/") << qint64(0) << false << int(File::Unknown);
    QTest::addRow("a link") << QByteArray("x->y") << qint64(0) << false << int(File::Whole);
}

// Read among others, one before and one after it, each file ends as the row says, its bytes
// exactly when read whole; the others are not disturbed.
void tst_WholeFileReads::takesOnlyWhatIsCertain()
{
    QFETCH(QByteArray, entry);
    QFETCH(qint64, size);
    QFETCH(bool, evicted);
    QFETCH(int, outcome);
    WholeFileReads reads(3);
    if (!reads.isAvailable())
        QSKIP("io_uring is refused here");
    TestTree tree;
    QByteArray bytes(size, 'b');
    for (qint64 i = 0; i < size; i += 61)
        bytes[i] = char('A' + i % 26);
    if (entry == "x")
        tree.addFile("x", bytes);
    else if (!entry.isEmpty())
        tree.add({entry, "y:" + QByteArray(100, 'y')});
    tree.addFile("before", "1");
    tree.addFile("after", "22");
    if (refusesReadsThatMustNotWait(tree.path("after")))
        QSKIP("this file system does not tell what is in memory");
    if (evicted && !evictFromMemory(tree.path("x")))
        QSKIP("this file system keeps files in memory");
    const int before = openDescriptorCount();
    const int folder = ::open(tree.root().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<char> room(3 * WholeFileReads::room);
    std::vector<File> files{
        {folder, "before", room.data()},
        {folder, "x", room.data() + WholeFileReads::room},
        {AT_FDCWD, tree.path("after").constData(), room.data() + 2 * WholeFileReads::room}};

    reads.read(files);
    ::close(folder);

    QCOMPARE(int(files[1].outcome), outcome);
    if (outcome == File::Whole) {
        const QByteArray expected = entry == "x" ? bytes : QByteArray(100, 'y');
        QCOMPARE(QByteArray(files[1].target, files[1].length), expected);
    }
    QCOMPARE(int(files[0].outcome), int(File::Whole));
    QCOMPARE(QByteArray(files[0].target, files[0].length), QByteArray("1"));
    QCOMPARE(int(files[2].outcome), int(File::Whole));
    QCOMPARE(QByteArray(files[2].target, files[2].length), QByteArray("22"));
    QCOMPARE(openDescriptorCount(), before);
}

// As where a container forbids io_uring: the kernel refuses a ring of more entries than it allows.
void tst_WholeFileReads::ringRefusedLeavesEveryFileToTheUsualWay()
{
    TestTree tree;
    tree.addFile("a", "1");
    const int before = openDescriptorCount();
    {
        WholeFileReads reads(1 << 20);
        std::vector<char> room(WholeFileReads::room);
        std::vector<File> files{{AT_FDCWD, tree.path("a").constData(), room.data()}};

        reads.read(files);

        QVERIFY(!reads.isAvailable());
        QCOMPARE(int(files[0].outcome), int(File::Unknown));
    }
    // nothing of the refused ring is closed, standard input included
    QCOMPARE(openDescriptorCount(), before);
}

QTEST_GUILESS_MAIN(tst_WholeFileReads)
#include "tst_whole_file_reads.moc"
