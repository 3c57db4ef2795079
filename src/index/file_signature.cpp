#include "index/file_signature.h"

#include "platform/file_lookup.h"
#include "platform/long_path.h"
#include "search/content_search.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace {

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::optional<FileSignature> signatureOf(int folder, const char *name)
{
    struct stat status
    {
    };
    if (fstatat(folder, name, &status, 0) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return signatureOf(status);
}

} // namespace

FileSignature signatureOf(const struct stat &status)
{
    return FileSignature{qint64(status.st_size), nanoseconds(status.st_mtim),
                         nanoseconds(status.st_ctim), quint64(status.st_ino)};
}

std::optional<FileSignature> signatureOf(const QByteArray &path)
{
    struct stat status
    {
    };
    if (platform::statPath(path, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return signatureOf(status);
}

std::optional<FileSignature> signatureOf(const platform::OpenFolder &folder, const char *name)
{
    return signatureOf(folder.descriptor(), name);
}

std::optional<FileSignature> signatureOf(const Candidate &candidate)
{
    if (candidate.listed && candidate.listed->folder) {
        return signatureOf(*candidate.listed->folder,
                           candidate.path.constData() + platform::nameStart(candidate.path));
    }
    return signatureOf(candidate.path);
}

bool isUnsettled(const FileSignature &signature, qint64 recordStartNs, qint64 marginNs)
{
    return std::max(signature.modifiedNs, signature.changedNs) >= recordStartNs - marginNs;
}

// Files are stamped from the coarse clock: a file changed after this reading is stamped no
// earlier than it.
qint64 fileClockNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return nanoseconds(now);
}
