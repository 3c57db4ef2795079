#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>

// What the where-used window is asked: which part, in which folders.
struct WhereUsedQuestion
{
    QString name;        // the part's name as other files hold it, in upper case
    QByteArray rootFile; // the part file the name comes from, if any
    QByteArrayList folders;
    bool inclSubfolders = true;
    // what the window says beside the folders: those left out of a list, and why
    QStringList folderNotes;
    int maxLevels = 0; // 0: up to the top
};

// A question or why there is none; the message is for a person.
struct QuestionCheck
{
    WhereUsedQuestion question;
    QString problem; // empty: the question may be searched
};

// A typed name over the folders; with none, the window asks for them.
QuestionCheck questionForName(const QString &typed, const QByteArrayList &folders,
                              bool inclSubfolders);
// The base name of a part file, in its own folder and the folders below it (the caller may
// widen them).
QuestionCheck questionForFile(const QByteArray &path);
