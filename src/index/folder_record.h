#pragma once

#include "index/file_record.h"
#include "index/file_signature.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <algorithm>
#include <vector>

// One file as the index keeps it, in the record of its folder.
struct RecordedFile
{
    QByteArray name;
    FileSignature signature;
    FileState state = FileState::AlwaysRead;
    QByteArray runs; // only when Recorded
};

// What the index keeps of one folder: its files in one value, so that a search asks the store
// once per folder it walks, not once per file. Any store keeps it as it is, in bytes. Read, its
// names and runs stay inside those bytes: a search reads many records and keeps none.
class FolderRecord
{
public:
    struct File
    {
        QByteArrayView name;
        FileSignature signature;
        FileState state = FileState::AlwaysRead;
        QByteArrayView runs;

        RecordedFile toRecordedFile() const;
    };

    FolderRecord() = default;
    // folder: the path the store keys the record by. Throws IndexError (Damaged) when the bytes
    // are no record this program wrote for that folder: nothing of such a record can be used.
    FolderRecord(const QByteArray &bytes, QByteArrayView folder);

    // files: sorted by name, each name once
    static QByteArray encode(QByteArrayView folder, const QList<RecordedFile> &files);

    // sorted by name
    const std::vector<File> &files() const { return m_files; }
    // The file of that name, or none.
    const File *find(QByteArrayView name) const;

private:
    QByteArray m_bytes;
    std::vector<File> m_files;
};

// The file of that name in files sorted by name, or none.
template<typename Files>
auto findByName(const Files &files, QByteArrayView name) -> decltype(&*files.begin())
{
    const auto found = std::lower_bound(
        files.begin(), files.end(), name,
        [](const auto &file, QByteArrayView key) { return QByteArrayView(file.name) < key; });
    return found != files.end() && QByteArrayView(found->name) == name ? &*found : nullptr;
}
