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
    if (::chmod(tree.root().constData(), 0755) != 0 || ::seteuid(nobody) != 0)
        qFatal("UnprivilegedUser: %s", std::strerror(errno));
    m_switched = true;
}

UnprivilegedUser::~UnprivilegedUser()
{
    if (m_switched && ::seteuid(0) != 0)
        qFatal("UnprivilegedUser: cannot become root again: %s", std::strerror(errno));
}
