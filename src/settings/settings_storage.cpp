#include "settings/settings_storage.h"

#include "platform/raw_file.h"
#include "platform/system_error.h"
#include "platform/text_file.h"
#include "settings/ini_syntax.h"
#include "settings/settings_location.h"

#include <QFile>
#include <QLockFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

const QString sectionName = QStringLiteral("Optionen");

QString folded(const QString &name)
{
    return name.toCaseFolded();
}

// How long a save waits for another copy's save of the same file to end.
constexpr int lockWaitMilliseconds = 10000;

// The folder list is saved as a whole: "ANZI" and the entries "0", "1", …
bool isFolderListKey(const QString &foldedKey)
{
    return foldedKey == QLatin1String("anzi") ||
           (!foldedKey.isEmpty() && std::all_of(foldedKey.cbegin(), foldedKey.cend(),
                                                [](QChar c) { return c >= u'0' && c <= u'9'; }));
}

} // namespace

SettingsStore::Storage::Storage()
    : m_fileName(settingsFilePath())
    , m_path(QFile::encodeName(m_fileName))
{
    const FileContents file = readFile();
    if (!file.sections) {
        m_readProblem = QStringLiteral("Die Einstellungsdatei %1 konnte nicht gelesen werden: %2.")
                            .arg(m_fileName, file.problem);
        takeSections({});
        return;
    }
    takeSections(*file.sections);
}

std::optional<QString> SettingsStore::Storage::value(const QString &key) const
{
    if (const std::optional<QByteArray> stored = spelt(m_sections, key))
        return ini::valueText(*stored);
    return std::nullopt;
}

std::optional<QByteArray> SettingsStore::Storage::bytes(const QString &key) const
{
    if (const std::optional<QByteArray> stored = spelt(m_sections, key))
        return ini::valueBytes(*stored);
    return std::nullopt;
}

void SettingsStore::Storage::setValue(const QString &key, const QString &text)
{
    const std::optional<QByteArray> inFile = spelt(m_fileSections, key);
    set(key, inFile && ini::valueText(*inFile) == text ? *inFile : ini::escapedValue(text));
}

void SettingsStore::Storage::setBytes(const QString &key, const QByteArray &bytes)
{
    const std::optional<QByteArray> inFile = spelt(m_fileSections, key);
    if (inFile && ini::valueBytes(*inFile) == bytes)
        set(key, *inFile);
    else if (bytes.isValidUtf8())
        set(key, ini::escapedValue(QString::fromUtf8(bytes)));
    else
        set(key, ini::escapedValue(QString::fromLatin1(bytes), ini::Encoding::Latin1));
}

std::optional<QString> SettingsStore::Storage::unsavedValue(const QString &key) const
{
    if (const std::optional<QByteArray> stored = spelt(unsavedSections(), key))
        return ini::valueText(*stored);
    return std::nullopt;
}

const ini::Sections &SettingsStore::Storage::unsavedSections() const
{
    return m_outvoted.isEmpty() ? m_sections : m_outvoted;
}

SaveResult SettingsStore::Storage::sync()
{
    m_outvoted.clear();
    if (m_sections == m_fileSections)
        return {};
    if (!m_readProblem.isEmpty())
        return {SaveResult::Outcome::Refused, m_fileName};
    if (const int error = platform::makeFolders(m_path.left(m_path.lastIndexOf('/'))))
        return {SaveResult::Outcome::NotWritten, m_fileName, error};
    // Another copy's save between our read and our write would be lost. The lock file is the one
    // QSettings takes, so a save by an earlier version of the program waits for ours too. Where
    // no lock file can be made, the write itself will say why.
    QLockFile lock(m_fileName + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMilliseconds) && lock.error() == QLockFile::LockFailedError)
        return {SaveResult::Outcome::NotWritten, m_fileName, EWOULDBLOCK};
    return mergeAndWrite();
}

// What this copy changed since it read the file goes into the file as it is now. A value that
// another copy changed meanwhile to something else stays as that copy saved it; the folder list
// counts as one value, so that no list is made of two. Values that only the other copy changed
// are written as it left them, but this copy keeps showing its own: they are not what its user
// saw, and setting them back unchanged at a close must not count as a change.
SaveResult SettingsStore::Storage::mergeAndWrite()
{
    const FileContents file = readFile();
    if (!file.sections)
        return {SaveResult::Outcome::Refused, m_fileName};
    const ini::Sections &disk = *file.sections;
    const Places basePlaces = placesIn(m_fileSections);
    const Places diskPlaces = placesIn(disk);
    const auto valueIn = [](const ini::Sections &sections, const Places &places,
                            const QString &key) -> std::optional<QByteArray> {
        const QList<Place> spellings = places.value(key);
        if (spellings.isEmpty())
            return std::nullopt;
        return sections.value(spellings.constFirst().section).value(spellings.constFirst().key);
    };
    const auto ours = [&](const QString &key) { return valueIn(m_sections, m_places, key); };
    const auto base = [&](const QString &key) { return valueIn(m_fileSections, basePlaces, key); };
    const auto onDisk = [&](const QString &key) { return valueIn(disk, diskPlaces, key); };

    // By group (a key, or the folder list), the keys this copy changed and the keys it shares
    // with the file as it was and as it is.
    QHash<QString, QStringList> changed;
    QHash<QString, QSet<QString>> known;
    const auto groupOf = [](const QString &key) {
        return isFolderListKey(key) ? QStringLiteral("anzi") : key;
    };
    for (auto key = m_places.cbegin(); key != m_places.cend(); ++key) {
        known[groupOf(key.key())].insert(key.key());
        if (ours(key.key()) != base(key.key()))
            changed[groupOf(key.key())].append(key.key());
    }
    for (auto key = diskPlaces.cbegin(); key != diskPlaces.cend(); ++key)
        known[groupOf(key.key())].insert(key.key());

    ini::Sections merged = disk;
    const auto putOurs = [&](ini::Sections &sections, const QStringList &keys) {
        for (const QString &key : keys) {
            for (const Place &place : diskPlaces.value(key))
                sections[place.section].remove(place.key);
            const Place place = m_places.value(key).constFirst();
            sections[place.section][place.key] = *ours(key);
        }
    };
    QStringList conflicting;
    for (auto group = changed.cbegin(); group != changed.cend(); ++group) {
        const QSet<QString> &keys = known.value(group.key());
        const auto all = [&keys](const auto &test) {
            return std::all_of(keys.cbegin(), keys.cend(), test);
        };
        if (all([&](const QString &key) { return onDisk(key) == base(key); }))
            putOurs(merged, *group);
        else if (!all([&](const QString &key) { return onDisk(key) == ours(key); }))
            conflicting.append(group.key());
    }

    if (merged != disk) {
        const platform::FileWriteResult written =
            platform::replaceFile(m_path, ini::written(merged));
        if (!written.written)
            return {SaveResult::Outcome::NotWritten, m_fileName, written.error};
    }
    if (conflicting.isEmpty()) {
        m_fileSections = m_sections;
        return {};
    }
    // The file with ours instead of the other copy's, to rescue ours.
    m_outvoted = merged;
    for (const QString &group : std::as_const(conflicting)) {
        QStringList ownKeys;
        for (const QString &key : known.value(group))
            if (m_places.contains(key))
                ownKeys.append(key);
        putOurs(m_outvoted, ownKeys);
    }
    // Where both changed a value, this copy takes the other's, so that no later save of it
    // writes ours unasked.
    for (const QString &group : std::as_const(conflicting)) {
        for (const QString &key : known.value(group)) {
            for (const Place &place : m_places.value(key))
                m_sections[place.section].remove(place.key);
            for (const Place &place : diskPlaces.value(key))
                m_sections[place.section][place.key] = disk.value(place.section).value(place.key);
        }
    }
    m_places = placesIn(m_sections);
    m_fileSections = m_sections;
    conflicting.sort();
    return {SaveResult::Outcome::Conflict, m_fileName, 0, conflicting};
}

SettingsStore::Storage::Places SettingsStore::Storage::placesIn(const ini::Sections &sections)
{
    Places places;
    const QString wanted = folded(sectionName);
    for (auto section = sections.cbegin(); section != sections.cend(); ++section) {
        if (folded(section.key()) != wanted)
            continue;
        for (auto key = section->cbegin(); key != section->cend(); ++key)
            places[folded(key.key())].append(Place{section.key(), key.key()});
    }
    return places;
}

SettingsStore::Storage::FileContents SettingsStore::Storage::readFile() const
{
    struct stat status;
    if (::stat(m_path.constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {ini::Sections(), QString()};
        return {std::nullopt, platform::systemErrorText(errno)};
    }
    if (S_ISDIR(status.st_mode))
        return {std::nullopt, QStringLiteral("an ihrer Stelle steht ein Ordner")};
    if (!S_ISREG(status.st_mode))
        return {std::nullopt, QStringLiteral("sie ist keine gewöhnliche Datei")};

    if (status.st_size > largestSettingsFile)
        return {std::nullopt,
                QStringLiteral("sie ist mit %1 MB zu groß für eine Einstellungsdatei (höchstens "
                               "%2 MB)")
                    .arg(status.st_size / (1024 * 1024))
                    .arg(largestSettingsFile / (1024 * 1024))};

    platform::RawFile file;
    if (!file.open(m_path))
        return {std::nullopt, file.errorText()};
    // The size as opened, which may have grown since the look above.
    if (file.size() > largestSettingsFile)
        return {std::nullopt, QStringLiteral("sie ist zu groß für eine Einstellungsdatei")};
    QByteArray data(file.size(), Qt::Uninitialized);
    const qint64 length = file.readAt(0, data.data(), data.size());
    if (length < 0)
        return {std::nullopt, file.errorText()};
    data.truncate(length);
    ini::ReadResult read = ini::read(data);
    if (!read.problem.isEmpty())
        return {std::nullopt, read.problem};
    return {std::move(read.sections), QString()};
}

// The value of the key's spelling that counts, as the sections spell it.
std::optional<QByteArray> SettingsStore::Storage::spelt(const ini::Sections &sections,
                                                        const QString &key) const
{
    const auto places = m_places.constFind(folded(key));
    if (places == m_places.cend())
        return std::nullopt;
    const Place &place = places->constFirst();
    const auto section = sections.constFind(place.section);
    if (section == sections.cend())
        return std::nullopt;
    const auto value = section->constFind(place.key);
    if (value == section->cend())
        return std::nullopt;
    return *value;
}

void SettingsStore::Storage::set(const QString &key, const QByteArray &spelt)
{
    const QString foldedKey = folded(key);
    QList<Place> &places = m_places[foldedKey];
    if (places.isEmpty())
        places.append(Place{m_section, key});
    // The spelling that counts takes the value; the others go.
    for (qsizetype other = 1; other < places.size(); ++other)
        m_sections[places.at(other).section].remove(places.at(other).key);
    places.resize(1);
    m_sections[places.constFirst().section][places.constFirst().key] = spelt;
}

void SettingsStore::Storage::takeSections(const ini::Sections &sections)
{
    m_fileSections = sections;
    m_sections = sections;
    m_places = placesIn(sections);
    m_section = sectionName;
    for (const QString &name : sections.keys()) {
        if (folded(name) == folded(sectionName)) {
            m_section = name;
            break;
        }
    }
}
