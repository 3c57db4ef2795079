#pragma once

#include <QByteArray>
#include <QString>

// The finder pattern for a file-type criterion: "*" for "*", otherwise "*." + criterion + "*".
QByteArray patternForCriterion(const QString &criterion);
