#include "path_editor/browse_panel.h"

#include "path_editor/folder_tree.h"
#include "platform/display_text.h"
#include "platform/folder_listing.h"
#include "platform/volumes.h"
#include "platform/working_folder.h"
#include "widgets/clickable_label.h"
#include "widgets/controls.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

using controls::place;

namespace {

const QColor panelColour(255, 224, 192);
constexpr int panelWidth = 2535;
constexpr int panelHeight = 3315;

// The text "ok" puts into the entry field for a folder: its path with exactly one trailing "/";
// the root stays "/".
QByteArray entryFieldPath(const QByteArray &folder)
{
    QByteArray path = folder;
    while (path.endsWith('/'))
        path.chop(1);
    return path + '/';
}

} // namespace

BrowsePanel::BrowsePanel(QWidget *parent)
    : QFrame(parent)
{
    setAccessibleName(QStringLiteral("Verzeichnis einstellen"));
    controls::setAreaColour(this, panelColour);

    Label15 = place(new QLabel(QStringLiteral("Verzeichnis festlegen :"), this), "Label15", 180,
                    120, 1755, 255);
    lbl_exit = place(new ClickableLabel(QStringLiteral("X"), this), "lbl_exit", 2280, 60, 195, 255);
    lbl_exit->setCursor(Qt::PointingHandCursor);
    connect(lbl_exit, &ClickableLabel::clicked, this, &BrowsePanel::lbl_exit_Click);
    Drive1 = place(new QComboBox(this), "Drive1", 120, 540, 2235, 315);
    Drive1->setAccessibleName(QStringLiteral("Laufwerk"));
    connect(Drive1, &QComboBox::currentIndexChanged, this, &BrowsePanel::Drive1_Change);
    Dir1 = place(new FolderTree(this), "Dir1", 120, 900, 2235, 1890);
    Dir1->setAccessibleName(Label15->text());
    connect(Dir1, &FolderTree::pathChanged, this, &BrowsePanel::Dir1_Change);
    cmd_ok = place(new QPushButton(QStringLiteral("ok"), this), "cmd_ok", 720, 2880, 1155, 315);
    connect(cmd_ok, &QPushButton::clicked, this, &BrowsePanel::cmd_ok_Click);
    controls::line(this, "Line2", 0, 0, panelWidth, 0);
    controls::line(this, "Line3", panelWidth - 15, 0, panelWidth - 15, panelHeight);
    controls::line(this, "Line4", 0, panelHeight - 15, panelWidth, panelHeight - 15);
    controls::line(this, "Line5", 0, 0, 0, panelHeight);
    QWidget::setTabOrder(cmd_ok, Drive1);
    QWidget::setTabOrder(Drive1, Dir1);
}

void BrowsePanel::setVolumes(const QByteArrayList &volumes)
{
    m_volumes = volumes;
    {
        const QSignalBlocker quiet(Drive1);
        Drive1->clear();
        for (const QByteArray &volume : volumes)
            Drive1->addItem(platform::displayText(volume), volume);
    }
    const QByteArray folder = Dir1->path().isEmpty() ? platform::workingFolder() : Dir1->path();
    Dir1->showFolder(platform::volumeOf(folder, m_volumes), folder);
    setDrive(volumeOfFolderShown());
}

QWidget *BrowsePanel::firstInTabOrder() const
{
    return cmd_ok;
}

QWidget *BrowsePanel::lastInTabOrder() const
{
    return Dir1;
}

// Most editors never show the panel, and listing the folders above a working folder on a share
// is slow: the volumes and the tree are read when it is first shown.
void BrowsePanel::showEvent(QShowEvent *event)
{
    if (m_volumes.isEmpty())
        setVolumes(platform::mountedVolumes());
    QFrame::showEvent(event);
}

// A volume that cannot be listed (a medium or a share that went away) is refused without a word:
// the drive list goes back to the volume of the folder shown.
void BrowsePanel::Drive1_Change()
{
    const QByteArray volume = Drive1->currentData().toByteArray();
    if (!platform::canList(volume)) {
        setDrive(volumeOfFolderShown());
        return;
    }
    if (volumeOfFolderShown() != volume)
        Dir1->showFolder(volume, volume);
}

void BrowsePanel::Dir1_Change()
{
    setDrive(volumeOfFolderShown());
}

void BrowsePanel::lbl_exit_Click()
{
    hide();
}

void BrowsePanel::cmd_ok_Click()
{
    hide();
    Q_EMIT folderTaken(entryFieldPath(Dir1->path()));
}

void BrowsePanel::setDrive(const QByteArray &volume)
{
    const int index = int(m_volumes.indexOf(volume));
    if (index >= 0)
        Drive1->setCurrentIndex(index);
}

QByteArray BrowsePanel::volumeOfFolderShown() const
{
    return platform::volumeOf(Dir1->path(), m_volumes);
}
