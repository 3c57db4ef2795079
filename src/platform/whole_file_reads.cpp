#include "platform/whole_file_reads.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <liburing.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<bool> allowed{true};

// The three requests of a file, told apart in their answers.
enum Step : quint64
{
    Open,
    Read,
    Close,
};
constexpr quint64 steps = 3;

} // namespace

struct WholeFileReads::Ring
{
    io_uring ring{};
    bool isSetUp = false;
    ~Ring()
    {
        if (isSetUp)
            io_uring_queue_exit(&ring);
    }
};

WholeFileReads::WholeFileReads(int most)
    : m_most(most)
{
    if (!allowed)
        return;
    auto ring = std::make_unique<Ring>();
    // Run on the submitting thread when it next enters the kernel: no interrupt per answer.
    const unsigned flags = IORING_SETUP_SUBMIT_ALL | IORING_SETUP_COOP_TASKRUN;
    ring->isSetUp = io_uring_queue_init(unsigned(most) * steps, &ring->ring, flags) == 0;
    // each file is opened into a slot of its own, so that its read and close can name it
    // before the open has answered
    if (ring->isSetUp && io_uring_register_files_sparse(&ring->ring, unsigned(most)) == 0)
        m_ring = std::move(ring);
}

WholeFileReads::~WholeFileReads() = default;

void WholeFileReads::read(std::span<File> files)
{
    for (File &file : files)
        file.outcome = File::Unknown;
    if (!m_ring || files.empty() || files.size() > size_t(m_most))
        return;
    io_uring *ring = &m_ring->ring;
    for (size_t slot = 0; slot < files.size(); ++slot) {
        const File &file = files[slot];
        io_uring_sqe *open = io_uring_get_sqe(ring);
        io_uring_sqe *read = io_uring_get_sqe(ring);
        io_uring_sqe *close = io_uring_get_sqe(ring);
        // O_NONBLOCK: a name swapped for a FIFO opens at once and gives nothing to wait for
        io_uring_prep_openat_direct(open, file.folder, file.name, O_RDONLY | O_NOCTTY | O_NONBLOCK,
                                    0, unsigned(slot));
        open->flags |= IOSQE_IO_LINK;
        open->user_data = slot * steps + Open;
        io_uring_prep_read(read, int(slot), file.target, unsigned(room), 0);
        // only what is in memory: a file on the disk is better read by the usual way's threads
        read->rw_flags = RWF_NOWAIT;
        // the slot is closed whatever the read answered
        read->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
        read->user_data = slot * steps + Read;
        io_uring_prep_close_direct(close, unsigned(slot));
        close->user_data = slot * steps + Close;
    }
    const unsigned expected = unsigned(files.size() * steps);
    int submitted;
    do
        submitted = io_uring_submit_and_wait(ring, expected);
    while (submitted == -EINTR);
    if (submitted < 0) {
        // what was taken is lost: the usual way for all of them, from now on
        m_ring.reset();
        return;
    }
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    for (unsigned seen = 0; seen < expected; ++seen) {
        io_uring_cqe *answer;
        int waited;
        do
            waited = io_uring_wait_cqe(ring, &answer);
        while (waited == -EINTR);
        if (waited != 0) {
            // answers left behind would be taken for the next call's
            for (File &file : files)
                file.outcome = File::Unknown;
            m_ring.reset();
            return;
        }
        const quint64 slot = answer->user_data / steps;
        const quint64 step = answer->user_data % steps;
        const int got = answer->res;
        io_uring_cqe_seen(ring, answer);
        if (step != Read)
            continue;
        File &file = files[slot];
        // A read from memory stops short at the end of the file, or before the first page that
        // is not in memory; only the first lies inside a page. An empty file goes the usual way.
        if (got > 0 && got < room && got % pageSize != 0) {
            file.outcome = File::Whole;
            file.length = got;
        } else if (got == -EAGAIN) {
            file.outcome = File::NotInMemory;
        }
    }
}

void setWholeFileReadsAllowed(bool allow)
{
    allowed = allow;
}

} // namespace platform
