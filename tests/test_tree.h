#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QTemporaryDir>

// A folder tree for a test, removed with the object (also names that are not valid UTF-8 and
// folders a test has locked). Paths are bytes, so any name can be made; every add function creates
// missing parent folders and returns the full path. A tree that cannot be made ends the test
// program with a message.
class TestTree
{
public:
    TestTree();
    ~TestTree();
    TestTree(const TestTree &) = delete;
    TestTree &operator=(const TestTree &) = delete;

    // the root folder, without a trailing "/"
    QByteArray root() const { return m_root; }
    // root + "/" + relative
    QByteArray path(const QByteArray &relative) const;

    QByteArray addFile(const QByteArray &relative, const QByteArray &content = {});
    // a file of the given size that holds nothing but zero bytes, except content at offset;
    // sparse, so even files of gigabytes cost no disk space
    QByteArray addSparseFile(const QByteArray &relative, qint64 size, qint64 offset,
                             const QByteArray &content);
    QByteArray addFolder(const QByteArray &relative);
    QByteArray addSymlink(const QByteArray &relative, const QByteArray &target);
    QByteArray addFifo(const QByteArray &relative);
    QByteArray addSocket(const QByteArray &relative);
    // folders nested until the path is longer than the system's limit for one path (PATH_MAX),
    // without a trailing "/"
    QByteArray addDeepFolder(const QByteArray &relative);
    // Adds each entry of a list, as tables write trees: "name/" a folder, "name|" a FIFO, "name="
    // a socket, "name->target" a link, any other a file with what follows its first ":" as content.
    void add(const QByteArrayList &entries);

private:
    QTemporaryDir m_dir;
    QByteArray m_root;
};

// Removes a folder with everything in it, also names that are not valid UTF-8, which QDir cannot
// list, and folders a test has locked.
void removeFolderTree(const QByteArray &path);

// How many file descriptors the process holds: a test compares it before and after to find leaks.
int openDescriptorCount();

// Drops a file's bytes from the page cache, as a restart would; false when the file system keeps
// them in memory all the same.
bool evictFromMemory(const QByteArray &path);
// Whether the file system refuses reads that must not wait (tmpfs): it does not tell what is in
// memory.
bool refusesReadsThatMustNotWait(const QByteArray &path);
// Whether the page cache holds the file's first bytes (or the kernel is reading them).
bool isInMemory(const QByteArray &path);
