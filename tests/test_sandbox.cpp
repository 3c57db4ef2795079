#include "test_tree.h"

#include <QByteArray>
#include <QtGlobal>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// Whether every user may pass through each folder on the way to this one.
bool everyoneEnters(const QByteArray &folder)
{
    char resolved[PATH_MAX];
    if (folder.isEmpty() || !::realpath(folder.constData(), resolved))
        return false;
    for (QByteArray way(resolved); !way.isEmpty(); way.truncate(way.lastIndexOf('/'))) {
        struct stat status;
        if (::stat(way.constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            !(status.st_mode & S_IXOTH))
            return false;
    }
    return true;
}

// Every test program works in a folder of its own, made before main and removed at its end: the
// settings, state and home folders and every temporary folder lie in it, so a test never touches
// the real ones. A test run as root acts as "nobody" at times, which must reach what it tests
// wherever the checkout lies (often in a home folder only its owner may enter): so the sandbox
// lies where every user can enter, and, as in /tmp, every user may make temporary files in it.
class Sandbox
{
public:
    Sandbox()
    {
        // what the tests make, "nobody" must reach, whatever umask the tester has
        ::umask(022);
        for (const QByteArray &base :
             {qgetenv("TMPDIR"), QByteArray("/tmp"), QByteArray("/var/tmp")}) {
            QByteArray folder = base + "/spurwerk-test-XXXXXX";
            if (everyoneEnters(base) && ::mkdtemp(folder.data())) {
                m_folder = folder;
                break;
            }
        }
        if (m_folder.isEmpty() || ::chmod(m_folder.constData(), 0755) != 0)
            qFatal("no folder for the tests that every user can enter (TMPDIR, /tmp, /var/tmp)");
        makeFolder("config", 0755, "XDG_CONFIG_HOME");
        makeFolder("state", 0755, "XDG_STATE_HOME");
        makeFolder("cache", 0755, "XDG_CACHE_HOME");
        makeFolder("home", 0755, "HOME");
        makeFolder("tmp", 01777, "TMPDIR");
    }
    ~Sandbox() { removeFolderTree(m_folder); }
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

private:
    // A folder of the sandbox with this mode, whatever the umask, named by the variable.
    void makeFolder(const char *name, mode_t mode, const char *variable) const
    {
        const QByteArray folder = m_folder + '/' + name;
        if (::mkdir(folder.constData(), mode) != 0 || ::chmod(folder.constData(), mode) != 0 ||
            !qputenv(variable, folder))
            qFatal("cannot make %s: %s", folder.constData(), std::strerror(errno));
    }

    QByteArray m_folder;
};

const Sandbox sandbox;

} // namespace
