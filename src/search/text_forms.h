#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The bytes in which a file may hold a text: its local 8-bit form (UTF-8), and for a text with
// characters outside ASCII also its Windows-1252 form, in which the CAD programs of a Western
// European office store names, when that code page can carry the text. ASCII text has one form.
QList<QByteArray> textForms(const QString &text);
