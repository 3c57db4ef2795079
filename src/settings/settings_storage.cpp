#include "settings/settings_storage.h"

#include "platform/raw_file.h"
#include "platform/system_error.h"
#include "platform/text_file.h"
#include "settings/ini_syntax.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>

namespace {

const QString sectionName = QStringLiteral("Optionen");

QString folded(const QString &name)
{
    return name.toCaseFolded();
}

} // namespace

SettingsStore::Storage::Storage()
    : m_fileName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 QStringLiteral("/spurwerk/spurwerk.conf"))
    , m_path(QFile::encodeName(m_fileName))
{
    const FileContents file = readFile();
    if (!file.sections) {
        m_readProblem = QStringLiteral("Die Einstellungsdatei %1 konnte nicht gelesen werden: %2.")
                            .arg(m_fileName, file.problem);
        takeSections({});
        return;
    }
    m_fileState = file.state;
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

SaveResult SettingsStore::Storage::sync()
{
    if (m_sections == m_fileSections) {
        m_setKeys.clear();
        return {};
    }
    if (!m_readProblem.isEmpty())
        return {SaveResult::Outcome::Refused, m_fileName};
    ini::Sections merged = m_sections;
    if (fileState() != m_fileState) {
        // Another copy of the program saved meanwhile: what this one set goes over what that
        // one wrote, the rest of that stays.
        const FileContents file = readFile();
        if (!file.sections)
            return {SaveResult::Outcome::Refused, m_fileName};
        merged = *file.sections;
        const Places theirs = placesIn(merged);
        for (const QString &key : std::as_const(m_setKeys)) {
            for (const Place &place : theirs.value(key))
                merged[place.section].remove(place.key);
            const Place ours = m_places.value(key).constFirst();
            merged[ours.section][ours.key] = m_sections.value(ours.section).value(ours.key);
        }
    }
    if (const int error = platform::makeFolders(m_path.left(m_path.lastIndexOf('/'))))
        return {SaveResult::Outcome::NotWritten, m_fileName, error};
    const platform::FileWriteResult written = platform::replaceFile(m_path, ini::written(merged));
    if (!written.written)
        return {SaveResult::Outcome::NotWritten, m_fileName, written.error};
    m_fileState = fileState();
    takeSections(merged);
    return {};
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
            return {ini::Sections(), std::nullopt, QString()};
        return {std::nullopt, std::nullopt, platform::systemErrorText(errno)};
    }
    if (S_ISDIR(status.st_mode))
        return {std::nullopt, std::nullopt, QStringLiteral("an ihrer Stelle steht ein Ordner")};
    if (!S_ISREG(status.st_mode))
        return {std::nullopt, std::nullopt, QStringLiteral("sie ist keine gewöhnliche Datei")};

    platform::RawFile file;
    if (!file.open(m_path))
        return {std::nullopt, std::nullopt, file.errorText()};
    QByteArray data(file.size(), Qt::Uninitialized);
    const qint64 length = file.readAt(0, data.data(), data.size());
    if (length < 0)
        return {std::nullopt, std::nullopt, file.errorText()};
    data.truncate(length);
    ini::ReadResult read = ini::read(data);
    if (!read.problem.isEmpty())
        return {std::nullopt, std::nullopt, read.problem};
    return {std::move(read.sections), FileState(status), QString()};
}

std::optional<SettingsStore::Storage::FileState> SettingsStore::Storage::fileState() const
{
    struct stat status;
    if (::stat(m_path.constData(), &status) != 0)
        return std::nullopt;
    return FileState(status);
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
    m_setKeys.insert(foldedKey);
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
    m_setKeys.clear();
}
