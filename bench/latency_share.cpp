// A file server across the network, on this machine: a read-only FUSE file system that passes a
// folder through and answers every request (lookup, getattr, open, read, release, opendir,
// readdir, releasedir) only after a fixed delay, a network round trip. Like a file server it works
// on many requests at once, so a client that keeps many in flight waits for the delay once for
// all of them.
//
// Usage: latency-share SOURCE MOUNTPOINT [-o delay_us=N] [FUSE options]   (delay 1000 us unless
// given; unmount with fusermount3 -u MOUNTPOINT)
#define FUSE_USE_VERSION FUSE_MAKE_VERSION(3, 12)
#include <fuse.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Options
{
    const char *source = nullptr;
    unsigned delay_us = 1000;
};
Options options;
int source_folder = -1;

const fuse_opt option_table[] = {{"delay_us=%u", offsetof(Options, delay_us), 0}, FUSE_OPT_END};

// The first argument that is not an option is the source folder; FUSE takes the mount point.
int take_source(void *, const char *argument, int key, fuse_args *)
{
    if (key != FUSE_OPT_KEY_NONOPT || options.source != nullptr)
        return 1;
    options.source = argument;
    return 0;
}

void round_trip()
{
    timespec left{static_cast<time_t>(options.delay_us / 1000000),
                  static_cast<long>(options.delay_us % 1000000) * 1000};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

// Paths from the kernel start at the mount's root, "/"; ours are relative to the source folder.
const char *in_source(const char *path)
{
    return path[1] != '\0' ? path + 1 : ".";
}

int status(int result)
{
    return result == -1 ? -errno : 0;
}

// The kernel asks for a name's attributes (its lookup) through here as well.
int share_getattr(const char *path, struct stat *attributes, fuse_file_info *)
{
    round_trip();
    return status(fstatat(source_folder, in_source(path), attributes, AT_SYMLINK_NOFOLLOW));
}

int share_open(const char *path, fuse_file_info *file)
{
    round_trip();
    if ((file->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int descriptor = openat(source_folder, in_source(path), O_RDONLY | O_CLOEXEC);
    if (descriptor == -1)
        return -errno;
    file->fh = static_cast<uint64_t>(descriptor);
    return 0;
}

int share_read(const char *, char *buffer, size_t size, off_t offset, fuse_file_info *file)
{
    round_trip();
    const ssize_t count = pread(static_cast<int>(file->fh), buffer, size, offset);
    return count == -1 ? -errno : static_cast<int>(count);
}

int share_release(const char *, fuse_file_info *file)
{
    round_trip();
    return status(close(static_cast<int>(file->fh)));
}

int share_opendir(const char *path, fuse_file_info *file)
{
    round_trip();
    const int descriptor =
        openat(source_folder, in_source(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor == -1)
        return -errno;
    DIR *folder = fdopendir(descriptor);
    if (folder == nullptr) {
        const int error = errno;
        close(descriptor);
        return -error;
    }
    file->fh = reinterpret_cast<uintptr_t>(folder);
    return 0;
}

// The whole listing in one answer, as a file server sends a folder's names in few large replies;
// the names carry their types, so a client that walks by type needs no lookup for them.
int share_readdir(const char *, void *buffer, fuse_fill_dir_t fill, off_t, fuse_file_info *file,
                  fuse_readdir_flags)
{
    round_trip();
    DIR *folder = reinterpret_cast<DIR *>(file->fh);
    rewinddir(folder);
    errno = 0;
    while (const dirent *entry = readdir(folder)) {
        struct stat type
        {
        };
        type.st_ino = entry->d_ino;
        type.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &type, 0, fuse_fill_dir_flags{}) != 0)
            return -ENOMEM;
    }
    return -errno;
}

int share_releasedir(const char *, fuse_file_info *file)
{
    round_trip();
    return status(closedir(reinterpret_cast<DIR *>(file->fh)));
}

void *share_init(fuse_conn_info *connection, fuse_config *config)
{
    // Names and attributes stay valid for 1 s, as in Linux's SMB client. File data stays cached
    // from one open to the next while the mount lives, as the SMB client keeps it under a read
    // lease; the benchmark mounts anew before every command.
    config->entry_timeout = 1.0;
    config->attr_timeout = 1.0;
    config->negative_timeout = 0.0;
    config->kernel_cache = 1;
    config->use_ino = 1;
    // Read-ahead requests the kernel may send without waiting: a client with credits to spare.
    connection->max_background = 64;
    connection->congestion_threshold = 48;
    return nullptr;
}

fuse_operations share_operations()
{
    fuse_operations operations{};
    operations.getattr = share_getattr;
    operations.open = share_open;
    operations.read = share_read;
    operations.release = share_release;
    operations.opendir = share_opendir;
    operations.readdir = share_readdir;
    operations.releasedir = share_releasedir;
    operations.init = share_init;
    return operations;
}

} // namespace

int main(int argc, char *argv[])
{
    fuse_args arguments = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&arguments, &options, option_table, take_source) != 0)
        return 2;
    if (options.source == nullptr) {
        std::fprintf(stderr, "usage: %s SOURCE MOUNTPOINT [-o delay_us=N] [FUSE options]\n",
                     argv[0]);
        return 2;
    }
    source_folder = open(options.source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (source_folder == -1) {
        std::perror(options.source);
        return 2;
    }
    // Enough threads that no request waits for a free one while others sleep out their delay.
    fuse_opt_add_arg(&arguments, "-omax_threads=256,ro,fsname=latency-share");
    const fuse_operations operations = share_operations();
    const int result = fuse_main(arguments.argc, arguments.argv, &operations, nullptr);
    fuse_opt_free_args(&arguments);
    return result;
}
