#include "test_tree.h"

#include <QByteArray>
#include <QByteArrayList>
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
        for (const QByteArray &base :
             {qgetenv("TMPDIR"), QByteArray("/tmp"), QByteArray("/var/tmp")}) {
            QByteArray folder = base + "/spurwerk-test-XXXXXX";
            if (everyoneEnters(base) && ::mkdtemp(folder.data())) {
                m_folder = folder;
                break;
            }
        }
        if (m_folder.isEmpty())
            qFatal("no folder for the tests that every user can enter (TMPDIR, /tmp, /var/tmp)");
        make(m_folder, 0755);
        make(m_folder + "/config", 0755, "XDG_CONFIG_HOME");
        make(m_folder + "/state", 0755, "XDG_STATE_HOME");
        make(m_folder + "/home", 0755, "HOME");
        make(m_folder + "/tmp", 01777, "TMPDIR");
    }
    ~Sandbox() { removeFolderTree(m_folder); }
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

private:
    // whatever the umask
    static void make(const QByteArray &folder, mode_t mode, const char *variable = nullptr)
    {
        if ((::mkdir(folder.constData(), mode) != 0 && errno != EEXIST) ||
            ::chmod(folder.constData(), mode) != 0 || (variable && !qputenv(variable, folder)))
            qFatal("cannot make %s: %s", folder.constData(), std::strerror(errno));
    }

    QByteArray m_folder;
};

const Sandbox sandbox;

} // namespace
