#include "main_window/form1.h"

#include "main_window/height_layout.h"
#include "main_window/path_list_model.h"
#include "notices/frm_info.h"
#include "notices/frmsplash.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "platform/display_text.h"
#include "platform/working_folder.h"
#include "search/cfindfile.h"
#include "settings/settings_store.h"
#include "where_used/where_used_window.h"
#include "widgets/clickable_label.h"
#include "widgets/controls.h"
#include "widgets/deferred_label_text.h"
#include "widgets/message_box.h"
#include "widgets/picture_button.h"
#include "widgets/throttled_event_pump.h"
#include "widgets/twips.h"
#include "widgets/window_geometry.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

using controls::place;

namespace {

const QColor lightYellow(255, 255, 192);
const QColor darkBlue(0, 0, 192);

QListView *listBox(QWidget *parent, PathListModel *model)
{
    auto *list = new QListView(parent);
    list->setModel(model);
    list->setUniformItemSizes(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

} // namespace

Form1::Form1(SettingsStore &store, const QString &fileArgument)
    : m_store(store)
    , m_candidates(new PathListModel(this))
    , m_results(new PathListModel(this))
    , m_searchedFolders(new PathListModel(this))
{
    buildControls();
    buildWhereUsedStarts();
    setTabOrder();
    platform::installThrottledEventPump();
    Form_Load(fileArgument);
}

Form1::~Form1()
{
    m_form2.unload();
    m_splash.unload();
    m_info.unload();
    m_whereUsed.unload();
}

// The controls with their captions, states at start and places in twips.
void Form1::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("spurwerk !"));
    setWindowIcon(QIcon(QStringLiteral(":/images/spurwerk.png")));
    setFont(controls::sansFont());
    winId(); // frame extents are known from here on, so outer sizes come out right

    frame_file = place(new QGroupBox(QStringLiteral("Such-Eingabe"), this), "frame_file", 180, 120,
                       4335, 1575);
    txt_textfind = place(new QLineEdit(frame_file), "txt_textfind", 120, 360, 4095, 375);
    txt_textfind->setFont(controls::sansFont(8.25, true));
    txt_textfind->setAccessibleName(frame_file->title());
    txt_textfind->installEventFilter(this);
    Command3 = place(new QPushButton(QStringLiteral("Suche starten"), frame_file), "Command3", 120,
                     960, 2055, 495);
    Command3->setFont(controls::sansFont(8.25, true));
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    Label2 = place(new QLabel(QStringLiteral("Suchkriterium:"), frame_file), "Label2", 2460, 900,
                   975, 195);
    Label2->setFont(controls::serifFont(7));
    lbl_stop = place(new QLabel(QStringLiteral("0"), frame_file), "lbl_stop", 3480, 900, 375, 195);
    lbl_stop->hide();
    img_stop = place(new PictureButton(QStringLiteral(":/images/stop.png"),
                                       QStringLiteral("Suche abbrechen"), frame_file),
                     "img_stop", 3720, 960, 480, 480);
    connect(img_stop, &QToolButton::clicked, this, &Form1::img_stop_Click);

    com_krit = place(new QComboBox(this), "com_krit", 2640, 1260, 1035, 315);
    com_krit->setEditable(true);
    com_krit->setEditText(QStringLiteral("*"));
    com_krit->setAccessibleName(Label2->text());
    // A combo box is read out by its text and its label: both must name the criterion.
    com_krit->lineEdit()->setAccessibleName(Label2->text());
    Label2->setBuddy(com_krit);
    chk_under = place(new QCheckBox(QStringLiteral("Unterverzeichnisse einbeziehen"), this),
                      "chk_under", 6060, 960, 2655, 195);
    chk_under->setChecked(true);
    Label5 =
        place(new QLabel(QStringLiteral("Fenstergröße:"), this), "Label5", 4740, 960, 1095, 255);
    Slider1 = place(new QSlider(Qt::Horizontal, this), "Slider1", 4620, 1260, 4215, 315);
    Slider1->setRange(0, 100);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(5);
    Slider1->setAccessibleName(Label5->text());
    connect(Slider1, &QSlider::valueChanged, this, &Form1::Slider1_Scroll);
    Label4 = place(new QLabel(QStringLiteral("spurwerk !"), this), "Label4", 4620, 60, 4275, 675);
    Label4->setFont(controls::serifFont(24, true));
    lbl_Autor = place(new QLabel(QStringLiteral("Spurwerk · Konstruktion"), this), "lbl_Autor",
                      6840, 720, 1755, 195);
    controls::setTextColour(lbl_Autor, QColor(128, 128, 128));
    Label1 = place(new QLabel(this), "Label1", 120, 1560, 2000, 195);
    Label1->hide();
    Image1 = place(
        new PictureButton(QStringLiteral(":/images/folders.png"), QStringLiteral("Pfade"), this),
        "Image1", 8940, 60, 480, 480);
    connect(Image1, &QToolButton::clicked, this, &Form1::Image1_Click);
    img_info = place(new PictureButton(QStringLiteral(":/images/info.png"),
                                       QStringLiteral("Optionen und Info"), this),
                     "img_info", 8940, 660, 480, 480);
    connect(img_info, &QToolButton::clicked, this, &Form1::img_info_Click);
    cmd_opennote =
        place(new QPushButton(QStringLiteral(">>"), this), "cmd_opennote", 8880, 1260, 615, 315);
    connect(cmd_opennote, &QPushButton::clicked, this, &Form1::cmd_opennote_Click);

    List2 = place(listBox(this, m_results), "List2", 120, 1800, 9375, 2400);
    List2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List2->setAccessibleName(QStringLiteral("Gefundene Dateien"));
    List2->hide();
    // A click, and the arrow keys as well, show an entry's details.
    connect(List2, &QAbstractItemView::clicked, this, &Form1::List2_Click);
    connect(List2->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Form1::List2_Click);
    connect(List2, &QAbstractItemView::doubleClicked, this, &Form1::List2_DblClick);
    Picture1 = place(new QLabel(this), "Picture1", 3540, 2280, 3285, 2190);
    Picture1->setPixmap(QPixmap(QStringLiteral(":/images/drawing.png")));
    List1 = place(listBox(this, m_candidates), "List1", 120, 1800, 4995, 1230);
    List1->hide();
    List_temp = place(listBox(this, m_searchedFolders), "List_temp", 120, 6240, 4995, 1230);
    List_temp->setToolTip(QStringLiteral("Liste der zuletzt gesuchten Pfade"));
    List_temp->setAccessibleName(List_temp->toolTip());
    List_temp->hide();
    m_workingFolder = platform::workingFolder();
    akt_dir = new QLabel(platform::displayText(m_workingFolder), this);
    akt_dir->setObjectName(QStringLiteral("akt_dir"));
    akt_dir->hide();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    Frame1 = place(new QGroupBox(QStringLiteral("control"), this), "Frame1", 120, 4500, 9555, 1515);
    Frame1->hide();
    lbl_filetime = place(new QLabel(Frame1), "lbl_filetime", 60, 60, 1575, 255);
    controls::setBackground(lbl_filetime, lightYellow);
    Label10 = place(new QLabel(Frame1), "Label10", 1620, 60, 4215, 255);
    controls::setBackground(Label10, lightYellow);
    Label10->hide();
    Label8 = place(new ClickableLabel(Frame1), "Label8", 5820, 60, 3615, 255);
    controls::setBackground(Label8, lightYellow);
    controls::setTextColour(Label8, darkBlue);
    Label8->setFont(controls::sansFont(8.25, true));
    Label8->setCursor(Qt::PointingHandCursor);
    Label8->setToolTip(QStringLiteral("Doppelklick um in Arbeits-Liste aufzunehmen"));
    Label8->hide();
    connect(Label8, &ClickableLabel::doubleClicked, this, &Form1::Label8_DblClick);
    Command1 = place(new QPushButton(QStringLiteral("Aufrufen"), Frame1), "Command1", 5820, 360,
                     3615, 495);
    Command1->setFont(controls::sansFont(8.25, true));
    Command1->hide();
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    Label6 = place(new QLabel(Frame1), "Label6", 3660, 600, 500, 195);
    Label6->hide();
    Label9 = place(new QLabel(QStringLiteral("Label9"), Frame1), "Label9", 4200, 600, 500, 195);
    Label9->hide();
    Label3 = place(new QLabel(Frame1), "Label3", 4740, 600, 500, 195);
    Label3->hide();
    cmd_purge = place(new QPushButton(QStringLiteral("doppelte löschen"), Frame1), "cmd_purge", 60,
                      540, 1695, 315);
    cmd_purge->hide();
    connect(cmd_purge, &QPushButton::clicked, this, &Form1::cmd_purge_Click);
    cmd_savefile = place(new QPushButton(QStringLiteral("in Textdatei speichern"), Frame1),
                         "cmd_savefile", 1800, 540, 1815, 315);
    connect(cmd_savefile, &QPushButton::clicked, this, &Form1::cmd_savefile_Click);
    PBar = place(new QProgressBar(Frame1), "PBar", 60, 900, 8835, 255);
    PBar->setRange(0, 100);
    PBar->setValue(0);
    PBar->setTextVisible(false);
    PBar->setAccessibleName(QStringLiteral("Fortschritt"));
    img_exit = place(
        new PictureButton(QStringLiteral(":/images/exit.png"), QStringLiteral("EXIT"), Frame1),
        "img_exit", 8940, 960, 480, 480);
    connect(img_exit, &QToolButton::clicked, this, &Form1::img_exit_Click);
    lblStatus =
        place(new QLabel(QStringLiteral("Status"), Frame1), "lblStatus", 60, 1200, 1815, 255);
    m_runStatus = new platform::DeferredLabelText(lblStatus);
    lbl_aktpfad = place(new ClickableLabel(Frame1), "lbl_aktpfad", 1920, 1200, 6975, 255);
    m_runPath = new platform::DeferredLabelText(lbl_aktpfad);
    connect(lbl_aktpfad, &ClickableLabel::doubleClicked, this, &Form1::lbl_aktpfad_DblClick);

    lbl_notizen =
        place(new QLabel(QStringLiteral("Notizen"), this), "lbl_notizen", 10380, 420, 855, 375);
    lbl_notizen->setFont(controls::serifFont(12, true));
    img_putlisttoinfo =
        place(new PictureButton(QStringLiteral(":/images/copy_to_notes.png"),
                                QStringLiteral("Markierung in die Liste kopieren"), this),
              "img_putlisttoinfo", 9840, 1200, 480, 480);
    connect(img_putlisttoinfo, &QToolButton::clicked, this, &Form1::img_putlisttoinfo_Click);
    Command7 = place(new QPushButton(QStringLiteral("Notizblatt löschen"), this), "Command7", 10560,
                     1320, 1995, 315);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    txt_note = place(new QPlainTextEdit(this), "txt_note", 9780, 1800, 5235, 4095);
    txt_note->setFont(controls::serifFont(8.25));
    txt_note->setLineWrapMode(QPlainTextEdit::NoWrap);
    txt_note->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txt_note->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The Tab key moves on, as in every other control, instead of typing into a pad out of view.
    txt_note->setTabChangesFocus(true);
    txt_note->setAccessibleName(lbl_notizen->text());
    controls::setBackground(txt_note, lightYellow);
}

void Form1::setTabOrder()
{
    const QList<QWidget *> order{txt_note,     Command7,  Command3,    txt_textfind, List2,
                                 cmd_opennote, List_temp, com_krit,    cmd_purge,    Command1,
                                 Slider1,      chk_under, cmd_savefile};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    // The notes pad comes first in the order but lies out of view at the narrow width: typing
    // right after the start goes where the user sees it.
    txt_textfind->setFocus();
}

void Form1::Form_Load(const QString &fileArgument)
{
    m_form2.unload();
    if (const QString problem = m_store.readProblem(); !problem.isEmpty())
        platform::showMessage(this, problem + QStringLiteral("\n\nSpurwerk startet mit den "
                                                             "Voreinstellungen und überschreibt "
                                                             "diese Datei nicht."));
    Slider1->blockSignals(true);
    Slider1->setValue(m_store.sliderValue());
    Slider1->blockSignals(false);
    txt_textfind->setText(m_store.value(SettingsStore::Key::SearchText));
    restoreNotes();
    setNarrowWidth();
    applyHeightLayout(extraHeightForSlider(Slider1->value()));
    com_krit->addItems(
        {QStringLiteral("asm"), QStringLiteral("drw"), QStringLiteral("prt"), QStringLiteral("*")});
    com_krit->setCurrentIndex(com_krit->count() - 1);
    FolderList &folders = folderList();
    Label1->setText(folders.count() > 0 ? folders.entryText(0) : QString());
    lbl_aktpfad->setText(Label1->text());
    nSearch = new cFindFile(this);
    m_run = std::make_unique<SearchRun>(*nSearch);
    // unticked during a run, the box takes effect at the next folder
    connect(chk_under, &QCheckBox::toggled, this,
            [this](bool on) { m_run->setInclSubfolders(on); });
    img_stop->hide();
    Timer1->start(1000);
    if (!fileArgument.isEmpty())
        startWithFileArgument(fileArgument);
}

void Form1::Form_Unload()
{
    m_store.setValue(SettingsStore::Key::SliderValue, QString::number(Slider1->value()));
    m_store.setValue(SettingsStore::Key::SearchText, txt_textfind->text());
    m_store.setValue(SettingsStore::Key::Notes, notesToStore());
    m_form2.unload();
    // it takes lines into the notes pad, which are saved now
    m_whereUsed.unload();
    // Nothing the user typed goes without a word: what could not be saved goes to a file of its
    // own, and the message names it.
    if (const SaveResult saved = m_store.sync(); !saved.saved())
        platform::showMessage(
            this, (saved.outcome == SaveResult::Outcome::Conflict
                       ? QStringLiteral("Nicht alle Einstellungen wurden gespeichert.")
                       : QStringLiteral("Die Einstellungen wurden nicht gespeichert.")) +
                      QStringLiteral("\n\n") + saved.reason() + QStringLiteral("\n\n") +
                      m_store.rescue().report());
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_runInProgress && !m_exiting) {
        // The run is further down the call stack: let it wind down, then close.
        requestStopForClose();
        event->ignore();
        return;
    }
    Timer1->stop();
    Form_Unload();
    event->accept();
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shownBefore)
        return;
    m_shownBefore = true;
    window_geometry::centreOnScreen(this);
}

QString Form1::statusText() const
{
    return m_runStatus->text();
}

void Form1::applyHeightLayout(double d)
{
    const HeightLayout layout = heightLayoutFor(d);
    List2->resize(List2->width(), twipsToPixels(layout.list2Height));
    Frame1->move(Frame1->x(), twipsToPixels(layout.frame1Top));
    window_geometry::setOuterHeight(this, layout.form1Height);
    Picture1->move(Picture1->x(), twipsToPixels(layout.picture1Top));
}

bool Form1::isNormalState() const
{
    return !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void Form1::Slider1_Scroll()
{
    if (isNormalState())
        applyHeightLayout(extraHeightForSlider(Slider1->value()));
}

void Form1::Timer1_Timer()
{
    if (!isNormalState())
        return;
    if (window_geometry::outerHeight(this) < minimumFormHeight)
        window_geometry::setOuterHeight(this, minimumFormHeight);
    if (window_geometry::outerWidth(this) < narrowFormWidth)
        window_geometry::setOuterWidth(this, narrowFormWidth);
    applyHeightLayout(extraHeightForOuterHeight(window_geometry::outerHeight(this)));
}

void Form1::img_exit_Click()
{
    m_exiting = true;
    if (m_runInProgress)
        requestStopForClose();
    UnloadAllForms();
    QCoreApplication::exit(0);
}

void Form1::UnloadAllForms()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        window->close();
}

void Form1::lbl_aktpfad_DblClick()
{
    List_temp->setVisible(!List_temp->isVisible());
}

void Form1::Image1_Click()
{
    showForm2();
}

void Form1::img_info_Click()
{
    showInFront(m_info.load());
}

void Form1::showInFront(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

Form2 *Form1::loadForm2()
{
    return m_form2.load(m_store, *this);
}

Form2 *Form1::showForm2()
{
    Form2 *editor = loadForm2();
    showInFront(editor);
    return editor;
}

FolderList &Form1::folderList()
{
    return loadForm2()->folderList();
}
