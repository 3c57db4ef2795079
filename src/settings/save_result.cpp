#include "settings/save_result.h"

#include "platform/system_error.h"

namespace {

// "a", "a und b", "a, b und c"
QString listed(const QStringList &items)
{
    if (items.size() < 2)
        return items.join(QString());
    return items.first(items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" und ") +
           items.constLast();
}

} // namespace

QString SaveResult::reason() const
{
    switch (outcome) {
    case Outcome::Saved:
        return QString();
    case Outcome::Refused:
        return QStringLiteral("Die Einstellungsdatei %1 konnte nicht gelesen werden und wird darum "
                              "nicht überschrieben.")
            .arg(fileName);
    case Outcome::NotWritten:
        if (error == 0)
            return QStringLiteral("Die Einstellungsdatei %1 konnte nicht geschrieben werden.")
                .arg(fileName);
        return QStringLiteral("Die Einstellungsdatei %1 konnte nicht geschrieben werden: %2.")
            .arg(fileName, platform::systemErrorText(error));
    case Outcome::Conflict:
        return QStringLiteral("Ein anderes Spurwerk-Fenster hat inzwischen %1 in der "
                              "Einstellungsdatei %2 geändert; dort gilt jetzt dessen Fassung.")
            .arg(listed(conflicting), fileName);
    }
    Q_UNREACHABLE();
}
