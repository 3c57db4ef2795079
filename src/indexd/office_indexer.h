#pragma once

#include "index/index_update.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <atomic>
#include <functional>

// The indexer on the file server: indexes the folders into the office index, then keeps it
// current from the kernel's notice of each change, with a sweep of every folder when the
// notice ran over, at an interval (for what notice misses: links, other machines' writes to
// the same disk) and after the server was away. It says every second that it runs, and whether
// every change it was told of is written, so that desktops know how current the index is.
class OfficeIndexer
{
public:
    struct Options
    {
        QByteArray connection;  // libpq connection string
        QByteArrayList folders; // canonical
        qint64 sweepIntervalMs = 3600 * 1000;
        // a change is written once its folder has been quiet this long, so that a file being
        // saved is read once, when it is whole
        qint64 quietMs = 150;
        qint64 heartbeatMs = 1000;
        qint64 reconnectMs = 2000;
        // each line the indexer has to say: what it indexed, that the server is away or back
        std::function<void(const QString &)> log;
    };

    explicit OfficeIndexer(Options options);

    // Runs until stop is set; returns how the program ends.
    int run(const std::atomic<bool> &stop);

private:
    void say(const QString &line);

    Options m_options;
    IndexUpdate::Options m_update;
    QString m_lastSaid;
};
