#pragma once

#include <QString>
#include <stdexcept>

// The finder's only error: number 9999 with the failing member's source and description texts,
// which never change, and the words of what failed beneath them.
class FindFileError : public std::runtime_error
{
public:
    FindFileError(qint32 number, const QString &source, const QString &description,
                  const QString &cause)
        : std::runtime_error(description.toStdString())
        , number(number)
        , source(source)
        , description(description)
        , cause(cause)
    {}

    qint32 number;
    QString source;
    QString description;
    QString cause;
};
