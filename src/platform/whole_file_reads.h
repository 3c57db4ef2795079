#pragma once

#include <QtGlobal>
#include <memory>
#include <span>

namespace platform {

// Opens, reads and closes many small files with one system call (io_uring), where one file
// would otherwise cost four: from memory the kernel's cost per call, not the reading, decides.
// Only what is certain is taken: a file read whole from memory. Everything else (a file too
// large, not in memory, gone, not a regular file) is left to the usual way, which tells why.
class WholeFileReads
{
public:
    // Room for one file's bytes: a file of this size or more is not read whole.
    static constexpr qsizetype room = 16 * 1024;

    explicit WholeFileReads(int most);
    ~WholeFileReads();
    WholeFileReads(const WholeFileReads &) = delete;
    WholeFileReads &operator=(const WholeFileReads &) = delete;

    // False where the kernel refuses io_uring (an old kernel, a container that forbids it):
    // then every file goes the usual way.
    bool isAvailable() const { return m_ring != nullptr; }
    // How many files one call reads at most.
    int most() const { return m_most; }

    struct File
    {
        enum Outcome
        {
            Whole,       // length is the file's length, all of it in target
            NotInMemory, // its first bytes had to come from the disk
            Unknown,     // open it the usual way
        };
        int folder;       // a descriptor, or AT_FDCWD for a path
        const char *name; // in the folder
        char *target;     // room bytes
        Outcome outcome = Unknown;
        qint64 length = 0;
    };
    // Reads the files, at most most() of them; each with room of its own.
    void read(std::span<File> files);

private:
    struct Ring;
    std::unique_ptr<Ring> m_ring;
    int m_most;
};

// For tests: whether io_uring is used where the kernel allows it (the usual way alone when not).
void setWholeFileReadsAllowed(bool allowed);

} // namespace platform
