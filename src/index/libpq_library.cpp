#include "index/libpq_library.h"

#include "index/index_store.h"

#include <QLibrary>
#include <QStringList>
#include <type_traits>

namespace {

struct Loaded
{
    LibPq functions{};
    QString problem;
};

Loaded load()
{
    Loaded loaded;
    // never unloaded: its functions stay in use until the program ends
    QLibrary library(QStringLiteral("pq"), 5);
    if (!library.load()) {
        loaded.problem = library.errorString();
        return loaded;
    }
    QStringList missing;
    const auto resolve = [&](auto &function, const char *name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
        if (!function)
            missing.append(QString::fromLatin1(name));
    };
    LibPq &pq = loaded.functions;
    resolve(pq.connectStartParams, "PQconnectStartParams");
    resolve(pq.connectPoll, "PQconnectPoll");
    resolve(pq.status, "PQstatus");
    resolve(pq.socket, "PQsocket");
    resolve(pq.errorMessage, "PQerrorMessage");
    resolve(pq.finish, "PQfinish");
    resolve(pq.getCancel, "PQgetCancel");
    resolve(pq.cancel, "PQcancel");
    resolve(pq.freeCancel, "PQfreeCancel");
    resolve(pq.sendQueryParams, "PQsendQueryParams");
    resolve(pq.flush, "PQflush");
    resolve(pq.isBusy, "PQisBusy");
    resolve(pq.consumeInput, "PQconsumeInput");
    resolve(pq.getResult, "PQgetResult");
    resolve(pq.resultStatus, "PQresultStatus");
    resolve(pq.resultErrorMessage, "PQresultErrorMessage");
    resolve(pq.resultErrorField, "PQresultErrorField");
    resolve(pq.ntuples, "PQntuples");
    resolve(pq.getvalue, "PQgetvalue");
    resolve(pq.getlength, "PQgetlength");
    resolve(pq.clear, "PQclear");
    resolve(pq.user, "PQuser");
    resolve(pq.notifies, "PQnotifies");
    resolve(pq.freemem, "PQfreemem");
    if (!missing.isEmpty()) {
        loaded.problem = QStringLiteral("%1 lacks %2")
                             .arg(library.fileName(), missing.join(QStringLiteral(", ")));
    }
    return loaded;
}

} // namespace

const LibPq &libPq()
{
    static const Loaded loaded = load();
    if (!loaded.problem.isEmpty())
        throw IndexError(IndexError::Problem::Failed, loaded.problem);
    return loaded.functions;
}
