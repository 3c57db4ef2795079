#include "settings/settings_store.h"

#include "platform/path_syntax.h"
#include "settings/settings_storage.h"

#include <QLatin1String>
#include <QStringList>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

struct KeyDefinition
{
    QLatin1String readName;
    QLatin1String writeName;
    QLatin1String defaultValue;
    const char *userName; // as the user knows the value, in a sentence
};

// The main window reads "slider1.Value" and writes "slider1.value"; letter case does not matter
// to the store, but a new key is created under the write name.
KeyDefinition keyDefinition(SettingsStore::Key key)
{
    switch (key) {
    case SettingsStore::Key::SliderValue:
        return {QLatin1String("slider1.Value"), QLatin1String("slider1.value"), QLatin1String("0"),
                "die Fenstergröße"};
    case SettingsStore::Key::SearchText:
        return {QLatin1String("txt_textfind.Text"), QLatin1String("txt_textfind.Text"),
                QLatin1String("Suchtext"), "den Suchtext"};
    case SettingsStore::Key::Notes:
        return {QLatin1String("txt_note.Text"), QLatin1String("txt_note.Text"),
                QLatin1String("Notizen"), "die Notizen"};
    case SettingsStore::Key::FolderLastIndex:
        return {QLatin1String("ANZI"), QLatin1String("ANZI"), QLatin1String("0"),
                "die Liste der Verzeichnisse"};
    }
    Q_UNREACHABLE();
}

// The names for the user of the keys given case-folded, the folder list by "ANZI".
QStringList userNames(const QStringList &foldedKeys)
{
    QStringList names;
    for (const QString &foldedKey : foldedKeys) {
        QString name = QStringLiteral("„%1“").arg(foldedKey);
        for (const auto key : {SettingsStore::Key::SliderValue, SettingsStore::Key::SearchText,
                               SettingsStore::Key::Notes, SettingsStore::Key::FolderLastIndex}) {
            const KeyDefinition definition = keyDefinition(key);
            if (foldedKey == QString(definition.readName).toCaseFolded())
                name = QString::fromUtf8(definition.userName);
        }
        names.append(name);
    }
    return names;
}

// The root folder, as "C:\" is the root of the system drive on Windows.
QString defaultFolderEntry()
{
    return nativePathSyntax == PathSyntax::Windows ? QStringLiteral("C:\\") : QStringLiteral("/");
}

// Numbers are stored as plain decimal text; blanks around them, a plus sign and leading zeros
// still name one number unambiguously, so they are accepted. Fractions, hex and other digits are
// not.
std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    return ok ? std::optional<int>(number) : std::nullopt;
}

// The 16-bit range the stored list was once limited to.
constexpr int classicLastIndexLimit = std::numeric_limits<qint16>::max();

} // namespace

SettingsStore::SettingsStore()
    : m_storage(std::make_unique<Storage>())
{}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::value(Key key) const
{
    const KeyDefinition definition = keyDefinition(key);
    return m_storage->value(definition.readName).value_or(definition.defaultValue);
}

// With a settings file that could not be read the user saw the defaults: only what differs from
// them is the user's, and only that is kept to be rescued.
void SettingsStore::setValue(Key key, const QString &value)
{
    if (!canSave() && value == this->value(key))
        return;
    m_storage->setValue(keyDefinition(key).writeName, value);
}

QByteArray SettingsStore::folderEntry(int index) const
{
    return m_storage->bytes(QString::number(index)).value_or(defaultFolderEntry().toUtf8());
}

void SettingsStore::setFolderEntry(int index, const QByteArray &path)
{
    if (!canSave() && path == folderEntry(index))
        return;
    m_storage->setBytes(QString::number(index), path);
}

int SettingsStore::sliderValue() const
{
    const std::optional<int> stored = wholeNumber(value(Key::SliderValue));
    return stored && *stored >= 0 && *stored <= 100 ? *stored : 0;
}

int SettingsStore::folderLastIndex() const
{
    // A save leaves at most one entry key per index beside "ANZI"; a larger index can only come
    // from a damaged file and would make the load allocate without end.
    const qsizetype largestIndex =
        std::max<qsizetype>(classicLastIndexLimit, m_storage->keyCount());
    const std::optional<int> stored = wholeNumber(value(Key::FolderLastIndex));
    return stored && *stored >= 0 && *stored <= largestIndex ? *stored : -1;
}

bool SettingsStore::canSave() const
{
    return m_storage->readProblem().isEmpty();
}

QString SettingsStore::readProblem() const
{
    return m_storage->readProblem();
}

SaveResult SettingsStore::sync()
{
    SaveResult result = m_storage->sync();
    result.conflicting = userNames(result.conflicting);
    return result;
}

RescueResult SettingsStore::rescue() const
{
    const std::optional<QString> notes =
        m_storage->unsavedValue(keyDefinition(Key::Notes).readName);
    return writeRescueFile(m_storage->fileName(), notes.value_or(QString()),
                           m_storage->unsavedContents());
}
