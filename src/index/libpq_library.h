#pragma once

#include <libpq-fe.h>

// The functions of PostgreSQL's client library that the office index calls. The library is
// loaded when the first connection is made, not at every program's start: loading it and the
// libraries it needs (TLS, Kerberos, LDAP) was most of each start, also of every search that
// asks no office index.
struct LibPq
{
    decltype(&PQconnectStartParams) connectStartParams;
    decltype(&PQconnectPoll) connectPoll;
    decltype(&PQstatus) status;
    decltype(&PQsocket) socket;
    decltype(&PQerrorMessage) errorMessage;
    decltype(&PQfinish) finish;
    decltype(&PQgetCancel) getCancel;
    decltype(&PQcancel) cancel;
    decltype(&PQfreeCancel) freeCancel;
    decltype(&PQsendQueryParams) sendQueryParams;
    decltype(&PQflush) flush;
    decltype(&PQisBusy) isBusy;
    decltype(&PQconsumeInput) consumeInput;
    decltype(&PQgetResult) getResult;
    decltype(&PQresultStatus) resultStatus;
    decltype(&PQresultErrorMessage) resultErrorMessage;
    decltype(&PQresultErrorField) resultErrorField;
    decltype(&PQntuples) ntuples;
    decltype(&PQgetvalue) getvalue;
    decltype(&PQgetlength) getlength;
    decltype(&PQclear) clear;
    decltype(&PQuser) user;
    decltype(&PQnotifies) notifies;
    decltype(&PQfreemem) freemem;
};

// Loads the library the first time; throws IndexError (Failed) with the loader's words when it
// cannot be loaded or lacks a function.
const LibPq &libPq();
