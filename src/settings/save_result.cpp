#include "settings/save_result.h"

#include "platform/system_error.h"

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
    }
    Q_UNREACHABLE();
}
