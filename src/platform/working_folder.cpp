#include "platform/working_folder.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

QByteArray workingFolder()
{
    QByteArray folder(256, '\0');
    while (::getcwd(folder.data(), size_t(folder.size())) == nullptr) {
        if (errno != ERANGE)
            return {};
        folder.resize(folder.size() * 2);
    }
    folder.truncate(qsizetype(qstrlen(folder.constData())));
    return folder;
}

} // namespace platform
