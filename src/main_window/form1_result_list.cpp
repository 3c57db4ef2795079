#include "main_window/form1.h"

#include "main_window/path_list_model.h"
#include "main_window/result_list.h"
#include "platform/display_text.h"
#include "platform/file_lookup.h"
#include "platform/text_file.h"
#include "widgets/clickable_label.h"
#include "widgets/desktop_opener.h"
#include "widgets/message_box.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

void Form1::List2_Click(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    rememberHit(index);
    if (Label3->text().isEmpty())
        return;
    Command1->show();
    Label8->show();
    Frame1->show();
    const HitDetails details = hitDetails(Label3->text());
    Label8->setText(details.baseName);
    Label9->setText(details.type);
    lblStatus->setText(details.revisionLine);
    Label10->show();
    lbl_filetime->show();
    Label10->setText(details.typeLine);
    const std::optional<QDateTime> modified = platform::modificationTime(m_rememberedHit);
    lbl_filetime->setText(modified ? QLocale().toString(*modified, QLocale::ShortFormat)
                                   : QString());
}

void Form1::List2_DblClick(const QModelIndex &index)
{
    rememberHit(index);
    Command1->show();
    openRememberedHit();
}

void Form1::Command1_Click()
{
    openRememberedHit();
}

void Form1::cmd_purge_Click()
{
    m_searchedFolders->clear();
    m_results->blank(duplicatePositions(m_results->paths()));
    lblStatus->setText(QStringLiteral("Liste gepurged"));
}

void Form1::cmd_savefile_Click()
{
    const QByteArray path = whatsfoundPath(m_workingFolder);
    const platform::FileWriteResult result = platform::replaceFile(
        path,
        whatsfoundContents(txt_textfind->text(), com_krit->currentText(), m_results->paths()));
    const QString shownPath = platform::displayText(path);
    if (!result.written) {
        platform::showMessage(
            this, QStringLiteral("Das Ergebnis konnte nicht in %1 gespeichert werden: %2")
                      .arg(shownPath, result.errorText));
        return;
    }
    platform::showMessage(this, QStringLiteral("Ergebnis gespeichert in ") + shownPath);
}

// Label3 shows the entry's text; the bytes beside it open a name the text cannot carry.
void Form1::rememberHit(const QModelIndex &index)
{
    m_rememberedHit = index.data(PathListModel::PathBytesRole).toByteArray();
    Label3->setText(index.data().toString());
}

// An empty entry names no file: its address would be the working folder's.
void Form1::openRememberedHit()
{
    if (!m_rememberedHit.isEmpty())
        platform::openFile(this, m_rememberedHit);
}
