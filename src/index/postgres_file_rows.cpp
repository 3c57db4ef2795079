#include "index/postgres_file_rows.h"

#include "index/index_store.h"
#include "index/run_grams.h"

namespace {

// A text[] element; quotes and backslashes escaped, although hex and runs hold neither.
void appendElement(QByteArray &array, const QByteArray &element)
{
    array.append(array.size() > 1 ? ",\"" : "\"");
    for (const char byte : element) {
        if (byte == '"' || byte == '\\')
            array.append('\\');
        array.append(byte);
    }
    array.append('"');
}

void addRow(FileRows &rows, const RecordedFile &file)
{
    appendElement(rows.names, file.name.toHex());
    appendElement(rows.states, QByteArray::number(stateNumber(file.state)));
    appendElement(rows.sizes, QByteArray::number(file.signature.size));
    const QByteArray runs = file.state == FileState::Recorded ? file.runs : QByteArray();
    appendElement(rows.runs, runs);
    appendElement(rows.grams, arrayLiteral(runGramKeys(runs)));
    ++rows.count;
}

void close(FileRows &rows)
{
    for (QByteArray *array :
         {&rows.names, &rows.states, &rows.sizes, &rows.runs, &rows.grams, &rows.gone})
        array->append('}');
}

} // namespace

short stateNumber(FileState state)
{
    switch (state) {
    case FileState::Recorded:
        return 0;
    case FileState::AlwaysRead:
        return 1;
    case FileState::Unsettled:
        break;
    }
    return 2;
}

FileState stateOf(qint64 number)
{
    switch (number) {
    case 0:
        return FileState::Recorded;
    case 1:
        return FileState::AlwaysRead;
    case 2:
        return FileState::Unsettled;
    }
    throw IndexError(IndexError::Problem::Damaged, QStringLiteral("a file's state %1").arg(number));
}

FileRows allFileRows(const QList<RecordedFile> &files)
{
    FileRows rows;
    for (const RecordedFile &file : files)
        addRow(rows, file);
    close(rows);
    return rows;
}

FileRows changedFileRows(const FolderRecord &before, const QList<RecordedFile> &files)
{
    FileRows rows;
    for (const RecordedFile &file : files) {
        const FolderRecord::File *old = before.find(file.name);
        const QByteArrayView runs = file.state == FileState::Recorded ? file.runs : QByteArray();
        if (!old || old->state != file.state || old->signature.size != file.signature.size ||
            (old->state == FileState::Recorded ? old->runs : QByteArrayView()) != runs)
            addRow(rows, file);
    }
    // both lists sorted by name
    for (const FolderRecord::File &old : before.files()) {
        if (!findByName(files, old.name)) {
            appendElement(rows.gone, old.name.toByteArray().toHex());
            ++rows.goneCount;
        }
    }
    close(rows);
    return rows;
}
