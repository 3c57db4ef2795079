#pragma once

#include "index/file_record.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <vector>

// What a store that searches the recorded runs itself can tell without sending every record:
// which files may hold a text. A store that cannot (the desktop's own) does not offer it. Every
// call may throw IndexError.
class StoreSelection
{
public:
    struct File
    {
        QByteArray folder; // the record's folder, as the store keys it
        QByteArray name;
        FileState state = FileState::AlwaysRead;
        qint64 size = 0;
        std::vector<qsizetype> needles; // the indexes of the needles its runs hold
    };

    virtual ~StoreSelection() = default;

    // The files recorded in the folder (with subfolders: at or under it) that are not Recorded
    // or whose runs hold one of the needles (made of name bytes), by folder and then by name.
    // Of those, the store may leave out files whose names do not match namePattern (a wildcard
    // pattern), never one that does.
    virtual QList<File> filesHolding(const QByteArray &folder, bool subfolders,
                                     const QByteArray &namePattern,
                                     const QByteArrayList &needles) = 0;
    // Every file recorded there, in the same order, without needles.
    virtual QList<File> everyFile(const QByteArray &folder, bool subfolders,
                                  const QByteArray &namePattern) = 0;
};
