#pragma once

#include "index/index_store.h"

#include <QByteArray>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// The index in one SQLite file on the local disk (never on a share: its locks are not reliable
// there), in WAL mode so that a search reads while an update writes; a folder's record is one
// row, keyed by the folder's path.
class SqliteStore : public IndexStore
{
public:
    enum class Mode
    {
        Read,  // a search: the file must exist
        Write, // an update: creates the file and its tables when missing
    };

    // Throws IndexError when the file is missing (Read), damaged, locked or newer.
    SqliteStore(const QByteArray &file, Mode mode);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    // Checks every page; throws IndexError when the file is damaged.
    void checkWhole();

    // The store for an update, checked whole; one that is damaged or from a newer version is made
    // anew, and rebuilt then says why.
    static std::unique_ptr<SqliteStore> openForUpdate(const QByteArray &file, QString &rebuilt);

    QList<IndexedFolder> folders() override;
    FolderRecord filesIn(const QByteArray &folder) override;
    QByteArrayList foldersUnder(const QByteArray &root) override;
    qint64 sizeOnDisk() override;
    StoreSelection *selection() override { return nullptr; }

    void beginBatch() override;
    void commitBatch() override;
    void putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files) override;
    void putFolder(const IndexedFolder &folder) override;
    void removeFolder(const QByteArray &path, bool dropFiles) override;

private:
    class Statement;

    void setUp(Mode mode);
    void execute(const char *sql);
    [[noreturn]] void fail(int code);
    std::unique_ptr<Statement> prepare(const char *sql);
    Statement &cached(std::unique_ptr<Statement> &statement, const char *sql);

    QByteArray m_file;
    sqlite3 *m_db = nullptr;
    bool m_inBatch = false;
    std::unique_ptr<Statement> m_filesIn;
    std::unique_ptr<Statement> m_putFiles;
    std::unique_ptr<Statement> m_dropFiles;
};
