#pragma once

#include <QString>
#include <stdexcept>

// The finder's only error: number 9999 with the failing member's source and description texts.
class FindFileError : public std::runtime_error
{
public:
    FindFileError(qint32 number, const QString &source, const QString &description)
        : std::runtime_error(description.toStdString())
        , number(number)
        , source(source)
        , description(description)
    {}

    qint32 number;
    QString source;
    QString description;
};
