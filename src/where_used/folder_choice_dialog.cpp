#include "where_used/folder_choice_dialog.h"

#include "platform/display_text.h"
#include "platform/file_lookup.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int PathBytesRole = Qt::UserRole;

QPushButton *namedButton(const QString &caption, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    return button;
}

// The folder that holds the folder; "/" stays "/".
QByteArray parentFolder(const QByteArray &folder)
{
    QByteArray path = folder;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype nameStart = platform::nameStart(path);
    if (nameStart == 0)
        return QByteArrayLiteral("..");
    path.truncate(nameStart);
    return path;
}

} // namespace

FolderChoiceDialog::FolderChoiceDialog(const SearchedFolders &searched,
                                       const QList<OfferedFolder> &offered, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FolderChoiceDialog"));
    setWindowTitle(QStringLiteral("Verzeichnisse wählen"));
    setAccessibleName(windowTitle());
    // a window of its own takes the application's font, not its parent's
    setFont(parent->font());

    folderChoice = new QListWidget(this);
    folderChoice->setObjectName(QStringLiteral("folderChoice"));
    folderChoice->setAccessibleName(QStringLiteral("Verzeichnisse"));
    folderChoice->setTextElideMode(Qt::ElideMiddle);
    for (const QByteArray &folder : searched.folders)
        addEntry(folder, true);
    for (const OfferedFolder &folder : offered)
        addEntry(folder.path, folder.ticked);

    auto *addFolder = namedButton(QStringLiteral("Verzeichnis hinzufügen…"), "addFolder", this);
    connect(addFolder, &QPushButton::clicked, this, &FolderChoiceDialog::addFolder_Click);
    auto *levelUp = namedButton(QStringLiteral("eine Ebene höher"), "levelUp", this);
    connect(levelUp, &QPushButton::clicked, this, &FolderChoiceDialog::levelUp_Click);
    subfolders = new QCheckBox(QStringLiteral("Unterverzeichnisse einbeziehen"), this);
    subfolders->setObjectName(QStringLiteral("subfolders"));
    subfolders->setAccessibleName(subfolders->text());
    subfolders->setChecked(searched.inclSubfolders);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *search =
        buttons->addButton(QStringLiteral("Suchen"), QDialogButtonBox::AcceptRole);
    search->setObjectName(QStringLiteral("search"));
    search->setAccessibleName(search->text());
    QPushButton *cancel =
        buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAccessibleName(cancel->text());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *row = new QHBoxLayout;
    row->addWidget(addFolder);
    row->addWidget(levelUp);
    row->addStretch();
    auto *caption =
        new QLabel(QStringLiteral("Gesucht wird in den angehakten Verzeichnissen:"), this);
    caption->setObjectName(QStringLiteral("caption"));
    caption->setBuddy(folderChoice);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(folderChoice);
    layout->addLayout(row);
    layout->addWidget(subfolders);
    layout->addWidget(buttons);
    resize(560, 360);
}

SearchedFolders FolderChoiceDialog::chosen() const
{
    SearchedFolders chosen;
    chosen.inclSubfolders = subfolders->isChecked();
    for (int row = 0; row < folderChoice->count(); ++row) {
        const QListWidgetItem *entry = folderChoice->item(row);
        if (entry->checkState() == Qt::Checked)
            chosen.folders.append(entry->data(PathBytesRole).toByteArray());
    }
    return chosen;
}

// A folder listed already is ticked there, not listed twice.
void FolderChoiceDialog::addEntry(const QByteArray &path, bool ticked)
{
    for (int row = 0; row < folderChoice->count(); ++row) {
        QListWidgetItem *entry = folderChoice->item(row);
        if (entry->data(PathBytesRole).toByteArray() == path) {
            if (ticked)
                entry->setCheckState(Qt::Checked);
            return;
        }
    }
    auto *entry = new QListWidgetItem(platform::displayText(path), folderChoice);
    entry->setData(PathBytesRole, path);
    entry->setToolTip(entry->text());
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void FolderChoiceDialog::addFolder_Click()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Verzeichnis hinzufügen"));
    if (!folder.isEmpty())
        addEntry(QFile::encodeName(folder), true);
}

// The marked folder, or else every ticked one, gives way to the folder that holds it.
void FolderChoiceDialog::levelUp_Click()
{
    QList<QListWidgetItem *> entries = folderChoice->selectedItems();
    if (entries.isEmpty()) {
        for (int row = 0; row < folderChoice->count(); ++row) {
            if (folderChoice->item(row)->checkState() == Qt::Checked)
                entries.append(folderChoice->item(row));
        }
    }
    for (QListWidgetItem *entry : std::as_const(entries)) {
        entry->setCheckState(Qt::Unchecked);
        addEntry(parentFolder(entry->data(PathBytesRole).toByteArray()), true);
    }
}
