#include "platform/display_text.h"
#include "platform/file_lookup.h"
#include "platform/raw_file.h"
#include "platform/text_file.h"

#include "test_tree.h"
#include "unprivileged_user.h"

#include <QTest>
#include <algorithm>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::FileKind;

class tst_FileServices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void displayTextShowsEveryByte_data();
    void displayTextShowsEveryByte();
    void lookupTellsWhatAPathNames_data();
    void lookupTellsWhatAPathNames();
    void sizeAndFolderTest();
    void modificationTimeOfAFile();
    void replaceFileWritesWholeOrNotAtAll_data();
    void replaceFileWritesWholeOrNotAtAll();
    void replaceFileWritesWhereALinkLeads_data();
    void replaceFileWritesWhereALinkLeads();
    void replaceFileRemovesItsStaleTemporaries_data();
    void replaceFileRemovesItsStaleTemporaries();
    void newFileNeverReplacesOne();
    void rawFileReadsAtOffsets();
    void rawFileRefusesWhatIsNotARegularFile_data();
    void rawFileRefusesWhatIsNotARegularFile();
    void pathsLongerThanTheSystemTakesAtOnce_data();
    void pathsLongerThanTheSystemTakesAtOnce();
};

void tst_FileServices::displayTextShowsEveryByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addRow("UTF-8") << QByteArray("/cad/w\xc3\xa4rme.asm")
                           << QStringLiteral("/cad/wärme.asm");
    QTest::addRow("Latin-1") << QByteArray("/cad/w\xe4rme.asm") << QStringLiteral("/cad/wärme.asm");
    QTest::addRow("both in one path")
        << QByteArray("/Geh\xc3\xa4use/W\xfcrfel\xdf") << QStringLiteral("/Gehäuse/Würfelß");
    QTest::addRow("a sequence cut short") << QByteArray("a\xe2\x82") << QStringLiteral("aâ\u0082");
    QTest::addRow("an overlong slash") << QByteArray("\xc0\xaf") << QStringLiteral("À¯");
    QTest::addRow("a surrogate") << QByteArray("\xed\xa0\x80") << QStringLiteral("í\u00a0\u0080");
    QTest::addRow("four bytes") << QByteArray("\xf0\x9f\x94\xa7") << QStringLiteral("\U0001F527");
    QTest::addRow("four bytes beside Latin-1")
        << QByteArray("\xe4\xf0\x9f\x94\xa7") << QStringLiteral("ä\U0001F527");
    QTest::addRow("beyond the last character")
        << QByteArray("\xf4\x90\x80\x80") << QStringLiteral("ô\u0090\u0080\u0080");
}

void tst_FileServices::displayTextShowsEveryByte()
{
    QFETCH(QByteArray, bytes);
    QTEST(platform::displayText(bytes), "text");
}

void tst_FileServices::lookupTellsWhatAPathNames_data()
{
    QTest::addColumn<QByteArray>("relative");
    QTest::addColumn<FileKind>("kind");

    QTest::addRow("file") << QByteArray("top/hub.prt") << FileKind::Ordinary;
    QTest::addRow("empty file") << QByteArray("top/empty.prt") << FileKind::Ordinary;
    QTest::addRow("Latin-1 name") << QByteArray("top/w\xe4rme.asm") << FileKind::Ordinary;
    QTest::addRow("link to a file") << QByteArray("top/to_hub") << FileKind::Ordinary;
    QTest::addRow("hidden file") << QByteArray("top/.hub.prt") << FileKind::Hidden;
    QTest::addRow("file in a hidden folder")
        << QByteArray("top/.old/hub.prt") << FileKind::Ordinary;
    QTest::addRow("folder") << QByteArray("top") << FileKind::Folder;
    QTest::addRow("link to a folder") << QByteArray("top/to_old") << FileKind::Folder;
    QTest::addRow("FIFO") << QByteArray("top/pipe.prt") << FileKind::System;
    QTest::addRow("dangling link") << QByteArray("top/dangling") << FileKind::Inaccessible;
    QTest::addRow("missing") << QByteArray("top/missing.prt") << FileKind::Inaccessible;
    QTest::addRow("below a file") << QByteArray("top/hub.prt/x") << FileKind::Inaccessible;
}

void tst_FileServices::lookupTellsWhatAPathNames()
{
    QFETCH(QByteArray, relative);
    QFETCH(FileKind, kind);
    TestTree tree;
    tree.addFile("top/hub.prt", "data");
    tree.addFile("top/empty.prt");
    tree.addFile("top/w\xe4rme.asm", "data");
    tree.addSymlink("top/to_hub", "hub.prt");
    tree.addFile("top/.hub.prt", "data");
    tree.addFile("top/.old/hub.prt", "data");
    tree.addSymlink("top/to_old", ".old");
    tree.addFifo("top/pipe.prt");
    tree.addSymlink("top/dangling", "nowhere");

    const platform::FileLookup lookup = platform::lookupFile(tree.path(relative));
    QCOMPARE(lookup.kind, kind);
    QCOMPARE(lookup.error != 0, kind == FileKind::Inaccessible);
}

void tst_FileServices::sizeAndFolderTest()
{
    TestTree tree;
    const QByteArray file = tree.addFile("hub.prt", "12345");
    const QByteArray empty = tree.addFile("empty.prt");
    const QByteArray folder = tree.addFolder("sub");

    QCOMPARE(platform::fileSize(file), 5);
    QCOMPARE(platform::fileSize(empty), 0);
    QCOMPARE(platform::fileSize(tree.path("missing")), std::nullopt);
    QVERIFY(platform::isFolder(folder));
    QVERIFY(!platform::isFolder(file));
    QVERIFY(!platform::isFolder(tree.path("missing")));
}

void tst_FileServices::modificationTimeOfAFile()
{
    TestTree tree;
    const QByteArray file = tree.addFile("w\xe4rme.prt");
    const struct timespec times[2] = {{1000000000, 0}, {1160000000, 250000000}};
    QCOMPARE(::utimensat(AT_FDCWD, file.constData(), times, 0), 0);

    QCOMPARE(platform::modificationTime(file), QDateTime::fromMSecsSinceEpoch(1160000000250));
    QCOMPARE(platform::modificationTime(tree.path("missing")), std::nullopt);
}

namespace {

QByteArray contentsOf(const QByteArray &path)
{
    platform::RawFile file;
    if (!file.open(path))
        return "(unreadable)";
    QByteArray contents(file.size(), '\0');
    return file.readAt(0, contents.data(), contents.size()) == contents.size() ? contents
                                                                               : "(short)";
}

mode_t modeOf(const QByteArray &path)
{
    struct stat status;
    return ::stat(path.constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

QByteArrayList namesIn(const QByteArray &folder)
{
    QByteArrayList names;
    if (DIR *directory = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(directory)) {
            if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
                names.append(entry->d_name);
        }
        ::closedir(directory);
    }
    return names;
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

void tst_FileServices::replaceFileWritesWholeOrNotAtAll_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("oldFileMode"); // 0: no old file
    QTest::addColumn<bool>("written");
    QTest::addColumn<int>("modeAfter");         // -1: what the umask leaves of 0666
    QTest::addColumn<QByteArray>("linkedFile"); // the old file, when the path is a link to it
    QTest::addRow("new file") << QByteArray("a") << 0777 << 0 << true << -1 << QByteArray();
    QTest::addRow("old file replaced, its permissions kept")
        << QByteArray("a") << 0777 << 0666 << true << 0666 << QByteArray();
    QTest::addRow("folder name not valid UTF-8")
        << QByteArray("w\xe4rme") << 0777 << 0 << true << -1 << QByteArray();
    QTest::addRow("read-only folder")
        << QByteArray("a") << 0555 << 0666 << false << 0666 << QByteArray();
    QTest::addRow("write-protected file")
        << QByteArray("a") << 0777 << 0444 << false << 0444 << QByteArray();
    // a link stays one, or the file it leads to would keep the old contents
    QTest::addRow("symbolic link, the file it leads to replaced")
        << QByteArray("a") << 0777 << 0666 << true << 0666 << QByteArray("dotfiles/kept.txt");
}

void tst_FileServices::replaceFileWritesWholeOrNotAtAll()
{
    QFETCH(QByteArray, folder);
    QFETCH(int, folderMode);
    QFETCH(int, oldFileMode);
    QFETCH(bool, written);
    QFETCH(int, modeAfter);
    QFETCH(QByteArray, linkedFile);
    TestTree tree;
    const QByteArray path = tree.path(folder + "/whatsfound.txt");
    const QByteArray file = linkedFile.isEmpty() ? folder + "/whatsfound.txt" : linkedFile;
    const QByteArray fileFolder = file.left(file.lastIndexOf('/'));
    const QByteArray old = "old\r\n";
    if (oldFileMode != 0)
        QCOMPARE(::chmod(tree.addFile(file, old).constData(), mode_t(oldFileMode)), 0);
    if (!linkedFile.isEmpty())
        tree.addSymlink(folder + "/whatsfound.txt", tree.path(file));
    QCOMPARE(::chmod(tree.addFolder(folder).constData(), mode_t(folderMode)), 0);
    QCOMPARE(::chmod(tree.path(fileFolder).constData(), mode_t(folderMode)), 0);
    const QByteArray contents = QByteArray(100000, 'x') + "\r\n";

    const UnprivilegedUser user(tree);
    const platform::FileWriteResult result = platform::replaceFile(path, contents);

    QVERIFY2(result.written == written, qPrintable(result.errorText));
    QCOMPARE(result.errorText.isEmpty(), written);
    QCOMPARE(contentsOf(path), written ? contents : old);
    QCOMPARE(contentsOf(tree.path(file)), written ? contents : old);
    QCOMPARE(modeOf(path), modeAfter >= 0 ? mode_t(modeAfter) : 0666 & ~currentUmask());
    // nothing left behind beside it
    QCOMPARE(namesIn(tree.path(folder)), QByteArrayList{"whatsfound.txt"});
    QCOMPARE(namesIn(tree.path(fileFolder)), QByteArrayList{file.sliced(fileFolder.size() + 1)});
}

void tst_FileServices::replaceFileWritesWhereALinkLeads_data()
{
    QTest::addColumn<QByteArrayList>("tree"); // holds "a/whatsfound.txt"
    QTest::addColumn<QByteArray>("written");  // the file that takes the contents; empty: none
    QTest::addColumn<int>("error");

    QTest::addRow("link to a file not made yet")
        << QByteArrayList{"dotfiles/", "a/whatsfound.txt->../dotfiles/kept.txt"}
        << QByteArray("dotfiles/kept.txt") << 0;
    QTest::addRow("link to a link to a file not made yet")
        << QByteArrayList{"dotfiles/", "a/whatsfound.txt->zwischen",
                          "a/zwischen->../dotfiles/kept.txt"}
        << QByteArray("dotfiles/kept.txt") << 0;
    QTest::addRow("link into a folder that is gone")
        << QByteArrayList{"a/whatsfound.txt->../weg/kept.txt"} << QByteArray() << ENOENT;
    QTest::addRow("links in a circle")
        << QByteArrayList{"a/whatsfound.txt->zwischen", "a/zwischen->whatsfound.txt"}
        << QByteArray() << ELOOP;
}

// A link stays one, whether the file it leads to exists yet or not.
void tst_FileServices::replaceFileWritesWhereALinkLeads()
{
    QFETCH(QByteArrayList, tree);
    QFETCH(QByteArray, written);
    QFETCH(int, error);
    TestTree files;
    files.add(tree);
    const QByteArray path = files.path("a/whatsfound.txt");

    const platform::FileWriteResult result = platform::replaceFile(path, "neu\r\n");

    QCOMPARE(result.error, error);
    QCOMPARE(result.written, !written.isEmpty());
    struct stat status;
    QVERIFY(::lstat(path.constData(), &status) == 0 && S_ISLNK(status.st_mode));
    if (result.written)
        QCOMPARE(contentsOf(files.path(written)), QByteArray("neu\r\n"));
}

void tst_FileServices::replaceFileRemovesItsStaleTemporaries_data()
{
    QTest::addColumn<QByteArray>("name"); // beside "whatsfound.txt"
    QTest::addColumn<QByteArray>("kind"); // "file" or "link"
    QTest::addColumn<bool>("locked");     // by a save that is still writing it
    QTest::addColumn<bool>("removed");

    const QByteArray ours = "whatsfound.txt.spurwerk-k3j9x2ab";
    QTest::addRow("left by a killed save") << ours << QByteArray("file") << false << true;
    QTest::addRow("a save still writing it") << ours << QByteArray("file") << true << false;
    // An older version named them without the mark: such a name cannot be told from the user's.
    QTest::addRow("the user's copy")
        << QByteArray("whatsfound.txt.backup") << QByteArray("file") << false << false;
    QTest::addRow("a link of that name") << ours << QByteArray("link") << false << false;
}

void tst_FileServices::replaceFileRemovesItsStaleTemporaries()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, kind);
    QFETCH(bool, locked);
    QFETCH(bool, removed);
    TestTree tree;
    const QByteArray entry = kind == "link" ? name + "->whatsfound.txt" : name + ":halb";
    tree.add({"whatsfound.txt:alt", entry});
    int lock = -1;
    if (locked) {
        lock = ::open(tree.path(name).constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(lock, LOCK_EX), 0);
    }

    QVERIFY(platform::replaceFile(tree.path("whatsfound.txt"), "neu").written);
    if (lock >= 0)
        ::close(lock);

    QCOMPARE(contentsOf(tree.path("whatsfound.txt")), QByteArray("neu"));
    QByteArrayList expected{"whatsfound.txt"};
    if (!removed)
        expected.append(name);
    std::sort(expected.begin(), expected.end());
    QByteArrayList names = namesIn(tree.root());
    std::sort(names.begin(), names.end());
    QCOMPARE(names, expected);
}

void tst_FileServices::newFileNeverReplacesOne()
{
    TestTree tree;
    const QByteArray path = tree.path("neu/ordner/datei.conf");
    QCOMPARE(platform::makeFolders(tree.path("neu/ordner")), 0);
    QVERIFY(platform::writeNewFile(path, "erste").written);

    const platform::FileWriteResult again = platform::writeNewFile(path, "zweite");
    QVERIFY(!again.written);
    QCOMPARE(again.error, EEXIST);
    QCOMPARE(contentsOf(path), QByteArray("erste"));

    // no folder under a file, nor in a folder that refuses it
    QCOMPARE(platform::makeFolders(path + "/unter"), ENOTDIR);
    QCOMPARE(::chmod(tree.path("neu").constData(), 0555), 0);
    const UnprivilegedUser user(tree);
    QCOMPARE(platform::makeFolders(tree.path("neu/anderer/tiefer")), EACCES);
    QCOMPARE(platform::writeNewFile(tree.path("neu/datei"), "x").error, EACCES);
}

void tst_FileServices::rawFileReadsAtOffsets()
{
    TestTree tree;
    const QByteArray path = tree.addFile("w\xe4rme.asm", "0123456789");
    platform::RawFile file;
    QVERIFY(file.open(path));
    QCOMPARE(file.size(), 10);

    char buffer[16] = {};
    QCOMPARE(file.readAt(3, buffer, 4), 4);
    QCOMPARE(QByteArray(buffer, 4), "3456");
    QCOMPARE(file.readAt(8, buffer, 16), 2);
    QCOMPARE(QByteArray(buffer, 2), "89");
    QCOMPARE(file.readAt(10, buffer, 16), 0);

    QVERIFY(!file.open(tree.path("missing")));
    QVERIFY(!file.isOpen());
    QVERIFY(!file.errorText().isEmpty());
}

void tst_FileServices::rawFileRefusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QByteArray>("relative");
    QTest::addRow("FIFO") << QByteArray("pipe");
    QTest::addRow("folder") << QByteArray("sub");
}

void tst_FileServices::rawFileRefusesWhatIsNotARegularFile()
{
    QFETCH(QByteArray, relative);
    TestTree tree;
    tree.addFifo("pipe");
    tree.addFolder("sub");
    const int before = openDescriptorCount();

    // a FIFO without a writer must neither block the open nor be read
    platform::RawFile file;
    QVERIFY(!file.open(tree.path(relative)));
    QVERIFY(!file.errorText().isEmpty());
    QCOMPARE(openDescriptorCount(), before);
}

void tst_FileServices::pathsLongerThanTheSystemTakesAtOnce_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<FileKind>("kind");

    QTest::addRow("file") << QByteArray("hub.prt") << FileKind::Ordinary;
    QTest::addRow("link to a file") << QByteArray("to_hub") << FileKind::Ordinary;
    QTest::addRow("folder") << QByteArray("sub") << FileKind::Folder;
    QTest::addRow("folder with its trailing /") << QByteArray("sub/") << FileKind::Folder;
    QTest::addRow("dangling link") << QByteArray("dangling") << FileKind::Inaccessible;
    QTest::addRow("missing") << QByteArray("missing.prt") << FileKind::Inaccessible;
}

void tst_FileServices::pathsLongerThanTheSystemTakesAtOnce()
{
    QFETCH(QByteArray, name);
    QFETCH(FileKind, kind);
    TestTree tree;
    const QByteArray deep = tree.addDeepFolder("top") + '/';
    QVERIFY(deep.size() > PATH_MAX);
    const QByteArray relative = deep.mid(tree.root().size() + 1);
    tree.addFile(relative + "hub.prt", "0123456789");
    tree.addSymlink(relative + "to_hub", "hub.prt");
    tree.addFolder(relative + "sub");
    tree.addSymlink(relative + "dangling", "nowhere");
    const QByteArray path = deep + name;

    QCOMPARE(platform::lookupFile(path).kind, kind);
    QCOMPARE(platform::isFolder(path), kind == FileKind::Folder);
    QCOMPARE(platform::fileSize(path).has_value(),
             kind == FileKind::Ordinary || kind == FileKind::Folder);
    QCOMPARE(platform::modificationTime(path).has_value(),
             kind == FileKind::Ordinary || kind == FileKind::Folder);
    platform::RawFile file;
    QCOMPARE(file.open(path), kind == FileKind::Ordinary);
    if (kind == FileKind::Ordinary) {
        char buffer[16] = {};
        QCOMPARE(file.readAt(2, buffer, 16), 8);
        QCOMPARE(QByteArray(buffer, 8), "23456789");
    }
}

QTEST_GUILESS_MAIN(tst_FileServices)
#include "tst_file_services.moc"
