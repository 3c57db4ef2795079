#include "search/search_pattern.h"

QByteArray patternForCriterion(const QString &criterion)
{
    if (criterion == u'*')
        return QByteArrayLiteral("*");
    return "*." + criterion.toLocal8Bit() + '*';
}
