#pragma once

#include <QByteArrayList>
#include <QFrame>

class ClickableLabel;
class FolderTree;
class QComboBox;
class QLabel;
class QPushButton;

// The editor's browse panel "Verzeichnis einstellen" (Frame2): the drive list Drive1 and the
// folder tree Dir1, kept on the same volume, and "ok", which hands the chosen folder on.
class BrowsePanel : public QFrame
{
    Q_OBJECT

public:
    // Opens at the working folder, with the machine's volumes as they are when first shown.
    explicit BrowsePanel(QWidget *parent);

    // The volumes Drive1 offers, "/" first; keeps the folder shown.
    void setVolumes(const QByteArrayList &volumes);
    // The first and the last of the panel's controls in the tab order.
    QWidget *firstInTabOrder() const;
    QWidget *lastInTabOrder() const;

protected:
    void showEvent(QShowEvent *event) override;

Q_SIGNALS:
    // "ok" was pressed: the chosen folder as the entry field takes it.
    void folderTaken(const QByteArray &entryPath);

private:
    void Drive1_Change();
    void Dir1_Change();
    void lbl_exit_Click();
    void cmd_ok_Click();
    void setDrive(const QByteArray &volume);
    QByteArray volumeOfFolderShown() const;

    QByteArrayList m_volumes;

    QLabel *Label15;
    ClickableLabel *lbl_exit;
    QComboBox *Drive1;
    FolderTree *Dir1;
    QPushButton *cmd_ok;
};
