#include "path_editor/form2.h"

#include "path_editor/browse_panel.h"
#include "path_editor/folder_list.h"
#include "path_editor/main_window_link.h"
#include "path_editor/side_by_side.h"
#include "platform/display_text.h"
#include "widgets/controls.h"
#include "widgets/message_box.h"
#include "widgets/twips.h"
#include "widgets/window_geometry.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <utility>

using controls::place;

namespace {

const QColor hintYellow(255, 255, 192);
const QString searchRequested = QStringLiteral("suche...");

} // namespace

Form2::Form2(SettingsStore &store, MainWindowLink &mainWindow)
    : Form(nullptr,
           Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_store(store)
    , m_mainWindow(mainWindow)
    , m_folderList(new FolderList(this))
{
    buildControls();
    setTabOrder();
    Form_Load();
}

// The controls with their captions and places in twips.
void Form2::buildControls()
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Suchpfad Eingabe"));
    setWindowIcon(QIcon(QStringLiteral(":/images/folders.png")));
    setFont(controls::sansFont());
    setFixedSize(twipsToPixels(5715), twipsToPixels(3825));
    // The classic desktop's inactive window border is a light grey; Midlight is the palette's
    // nearest colour.
    controls::setAreaColour(this, QApplication::palette().color(QPalette::Midlight));

    Label8 = place(new QLabel(QStringLiteral("Liste der zu durchsuchenden Verzeichnisse"), this),
                   "Label8", 120, 60, 3195, 255);
    // An example of a network folder: on this platform a share is searched where it is mounted.
    Text6 = place(new QLineEdit(QStringLiteral("z.B. /mnt/cadserver/daten/3d/"), this), "Text6",
                  3360, 60, 2175, 195);
    Text6->setFrame(false);
    Text6->setReadOnly(true);
    Text6->setAccessibleName(Text6->text());
    controls::setBackground(Text6, hintYellow);
    List1 = place(new QListView(this), "List1", 120, 360, 5475, 1635);
    List1->setModel(m_folderList);
    List1->setUniformItemSizes(true);
    List1->setAccessibleName(Label8->text());
    connect(List1, &QListView::clicked, this, &Form2::List1_Click);
    cmd_search =
        place(new QPushButton(QStringLiteral("Suchen"), this), "cmd_search", 120, 2100, 5475, 375);
    connect(cmd_search, &QPushButton::clicked, this, &Form2::cmd_search_Click);
    controls::line(this, "Line1", 120, 2580, 5580, 2580);
    Text3 = place(new QLineEdit(this), "Text3", 120, 2700, 4515, 285);
    Text3->setAccessibleName(QStringLiteral("Verzeichnis"));
    connect(Text3, &QLineEdit::returnPressed, this, &Form2::Text3_KeyPress);
    Command3 = place(new QPushButton(QStringLiteral("+"), this), "Command3", 4740, 2700, 375, 315);
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    Command4 = place(new QPushButton(QStringLiteral("-"), this), "Command4", 5220, 2700, 375, 315);
    connect(Command4, &QPushButton::clicked, this, &Form2::Command4_Click);
    cmd_brows = place(new QPushButton(QStringLiteral("Verzeichnis auswählen"), this), "cmd_brows",
                      120, 3060, 2295, 315);
    connect(cmd_brows, &QPushButton::clicked, this, &Form2::cmd_brows_Click);
    Command2 = place(new QPushButton(QStringLiteral("Eingaben abspeichern"), this), "Command2",
                     3420, 3060, 2175, 375);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    Label9 = place(new QLabel(this), "Label9", 120, 3480, 735, 255);
    lbl_status =
        place(new QLabel(QStringLiteral("Status"), this), "lbl_status", 1020, 3480, 4575, 255);

    // last, so that it lies over the middle of the window
    Frame2 = place(new BrowsePanel(this), "Frame2", 2520, 120, 2535, 3315);
    Frame2->hide();
    connect(Frame2, &BrowsePanel::folderTaken, this, &Form2::fillText3);
}

void Form2::setTabOrder()
{
    const QList<QWidget *> order{cmd_search, Command2, Text6,    List1,
                                 Text3,      Command3, Command4, Frame2->firstInTabOrder()};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    // the panel orders its own controls
    QWidget::setTabOrder(Frame2->lastInTabOrder(), cmd_brows);
    cmd_search->setFocus();
}

void Form2::Form_Load()
{
    window_geometry::centreOnScreen(this);
    m_folderList->load(m_store);
    cmd_search->setEnabled(!m_mainWindow.isSearchingContents());
}

bool Form2::isSearchRequested() const
{
    return m_searchRequested;
}

void Form2::setSearchEnabled(bool enabled)
{
    cmd_search->setEnabled(enabled);
}

void Form2::cmd_brows_Click()
{
    Frame2->show();
}

void Form2::List1_Click(const QModelIndex &index)
{
    m_clickedRow = index.row();
    Label9->setText(QString::number(index.row()));
    fillText3(m_folderList->entryPath(index.row()));
}

void Form2::Command3_Click()
{
    if (!Text3->text().isEmpty())
        m_folderList->appendPath(text3Path());
}

// Enter in the entry field; every other key types as usual.
void Form2::Text3_KeyPress()
{
    Command3_Click();
}

void Form2::Command4_Click()
{
    if (!m_clickedRow)
        return;
    m_folderList->remove(*std::exchange(m_clickedRow, std::nullopt));
    Label9->clear();
}

void Form2::Command2_Click()
{
    // the message box below processes events
    const HandlerScope running(this);
    m_mainWindow.setLabel1(Text3->text());
    const SaveResult result = m_folderList->save(m_store);
    if (!result.saved()) {
        // The window stays open with its list, so that nothing the user entered is lost.
        // After another copy's save, the next one replaces that copy's list with this one.
        const QString again = result.outcome == SaveResult::Outcome::Conflict
                                  ? QStringLiteral("\n\nEin weiterer Klick auf „Eingaben "
                                                   "abspeichern“ ersetzt dessen Liste durch diese.")
                                  : QString();
        platform::showMessage(
            this, QStringLiteral("Die Liste der Verzeichnisse wurde nicht gespeichert.\n\n") +
                      result.reason() + again);
        return;
    }
    unload();
}

// The run is started by the main window's "Suche starten" and runs inside this handler; the
// window may be unloaded meanwhile, by "Eingaben abspeichern" or its close box.
void Form2::cmd_search_Click()
{
    if (m_mainWindow.isSearchRunning())
        return;
    const HandlerScope running(this);
    placeBesideMainWindow();
    m_searchRequested = true;
    lbl_status->setText(searchRequested);
    m_mainWindow.pressCommand3();
    unload();
}

void Form2::placeBesideMainWindow()
{
    using namespace window_geometry;
    QWidget *mainWindow = m_mainWindow.outerWindow();
    setOuterTop(this, outerTop(mainWindow));
    const SideBySide placed = sideBySide(outerLeft(mainWindow), outerWidth(mainWindow),
                                         outerWidth(this), screenRight(mainWindow));
    if (placed.mainLeft != outerLeft(mainWindow))
        setOuterLeft(mainWindow, placed.mainLeft);
    setOuterLeft(this, placed.editorLeft);
}

void Form2::fillText3(const QByteArray &path)
{
    m_text3Path = path;
    Text3->setText(platform::displayText(path));
}

QByteArray Form2::text3Path() const
{
    return platform::displayText(m_text3Path) == Text3->text() ? m_text3Path
                                                               : Text3->text().toLocal8Bit();
}
