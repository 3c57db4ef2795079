#include "path_editor/folder_tree.h"

#include "platform/display_text.h"
#include "platform/file_lookup.h"
#include "platform/folder_listing.h"

#include <QHeaderView>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int ListedRole = Qt::UserRole + 1;

QByteArray pathOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, PathRole).toByteArray() : QByteArray();
}

QByteArray nameOf(const QTreeWidgetItem *item)
{
    const QByteArray path = pathOf(item);
    return path.mid(platform::nameStart(path));
}

QTreeWidgetItem *newItem(const QByteArray &path, const QString &text)
{
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, PathRole, path);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

// The sub-folders a person looks for: hidden ones (names beginning with ".") are left out, as file
// managers do, and the rest come in alphabetical order.
QByteArrayList subfolderNames(const QByteArray &folder)
{
    // each name with its text, decoded once for the sort
    QList<std::pair<QString, QByteArray>> subfolders;
    platform::FolderListing listing(folder);
    while (listing.next()) {
        if (!listing.name().startsWith('.') && listing.kind().kind == platform::FileKind::Folder) {
            const QByteArray name = listing.name().toByteArray();
            subfolders.append({platform::displayText(name), name});
        }
    }
    std::sort(subfolders.begin(), subfolders.end(), [](const auto &a, const auto &b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    QByteArrayList names;
    names.reserve(subfolders.size());
    for (const auto &subfolder : std::as_const(subfolders))
        names.append(subfolder.second);
    return names;
}

} // namespace

FolderTree::FolderTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setIndentation(12);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    connect(this, &QTreeWidget::itemExpanded, this, &FolderTree::listSubfolders);
    connect(this, &QTreeWidget::currentItemChanged, this, &FolderTree::pathChanged);
}

QByteArray FolderTree::path() const
{
    return pathOf(currentItem());
}

QByteArray FolderTree::volume() const
{
    return pathOf(topLevelItem(0));
}

void FolderTree::showFolder(const QByteArray &volume, const QByteArray &folder)
{
    const QByteArray before = path();
    QTreeWidgetItem *item = nullptr;
    {
        const QSignalBlocker quiet(this);
        if (this->volume() != volume) {
            clear();
            addTopLevelItem(newItem(volume, platform::displayText(volume)));
        }
        item = topLevelItem(0);
        for (const QByteArray &name : folder.mid(volume.size()).split('/')) {
            if (name.isEmpty())
                continue;
            listSubfolders(item);
            QTreeWidgetItem *next = subfolder(item, name);
            if (!next)
                break;
            item->setExpanded(true);
            item = next;
        }
        setCurrentItem(item);
    }
    scrollToItem(item);
    if (path() != before)
        Q_EMIT pathChanged();
}

void FolderTree::listSubfolders(QTreeWidgetItem *item)
{
    if (item->data(0, ListedRole).toBool())
        return;
    item->setData(0, ListedRole, true);
    const QByteArray folder = pathOf(item);
    for (const QByteArray &name : subfolderNames(folder))
        item->addChild(newItem(platform::inFolder(folder, name), platform::displayText(name)));
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

// The listed sub-folder of that name; a hidden one, or one made since the listing, is added on the
// way to a folder inside it.
QTreeWidgetItem *FolderTree::subfolder(QTreeWidgetItem *item, const QByteArray &name)
{
    for (int i = 0; i < item->childCount(); ++i) {
        if (nameOf(item->child(i)) == name)
            return item->child(i);
    }
    return addSubfolder(item, name);
}

QTreeWidgetItem *FolderTree::addSubfolder(QTreeWidgetItem *item, const QByteArray &name)
{
    const QByteArray path = platform::inFolder(pathOf(item), name);
    if (!platform::isFolder(path))
        return nullptr;
    QTreeWidgetItem *child = newItem(path, platform::displayText(name));
    item->addChild(child);
    return child;
}
