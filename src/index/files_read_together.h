#pragma once

#include "index/file_signature.h"
#include "platform/folder_listing.h"
#include "platform/whole_file_reads.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <cstdlib>
#include <memory>
#include <optional>

// Reads the small files of a folder many at a time (one system call for all of them where the
// kernel allows), each looked up before, so that its signature is never newer than its bytes.
class FilesReadTogether
{
public:
    FilesReadTogether();

    bool isAvailable() const { return m_reads.isAvailable(); }
    int most() const { return m_reads.most(); }

    struct File
    {
        QByteArray name;
        // none: no regular file
        std::optional<FileSignature> signature;
        // by the file clock, before it was looked up
        qint64 startNs = 0;
        // all its bytes, valid until the next read; none: read it the usual way
        std::optional<QByteArrayView> bytes;
    };
    // The files by their names in the open folder, at most most() of them.
    QList<File> read(const platform::OpenFolder &folder, const QByteArrayList &names);

private:
    struct Free
    {
        void operator()(char *memory) const { std::free(memory); }
    };

    platform::WholeFileReads m_reads;
    std::unique_ptr<char, Free> m_room;
};
