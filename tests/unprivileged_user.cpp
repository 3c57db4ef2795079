#include "unprivileged_user.h"

#include "test_tree.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr uid_t nobody = 65534;
}

UnprivilegedUser::UnprivilegedUser(const TestTree &tree)
{
    if (::geteuid() != 0)
        return;
    // The real user ID changes too, or the programs a test starts count as set-user-ID and may
    // not read their own /proc entries; the saved one stays root, to come back.
    if (::chmod(tree.root().constData(), 0755) != 0 || ::setresuid(nobody, nobody, 0) != 0)
        qFatal("UnprivilegedUser: %s", std::strerror(errno));
    m_switched = true;
}

UnprivilegedUser::~UnprivilegedUser()
{
    if (m_switched && ::setresuid(0, 0, 0) != 0)
        qFatal("UnprivilegedUser: cannot become root again: %s", std::strerror(errno));
}
