#include "path_editor/form2.h"

#include "path_editor/folder_list.h"
#include "path_editor/main_window_link.h"
#include "platform/windows/controls.h"
#include "platform/windows/twips.h"
#include "platform/windows/window_geometry.h"

#include <QLabel>
#include <QListView>
#include <QPushButton>

Form2::Form2(SettingsStore &store, const MainWindowLink &mainWindow)
    : Form(nullptr,
           Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_store(store)
    , m_mainWindow(mainWindow)
    , m_folderList(new FolderList(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Suchpfad Eingabe"));
    setWindowIcon(QIcon(QStringLiteral(":/images/folders.png")));
    setFont(controls::sansFont());
    setFixedSize(twipsToPixels(5715), twipsToPixels(3825));

    Label8 = controls::place(
        new QLabel(QStringLiteral("Liste der zu durchsuchenden Verzeichnisse"), this), "Label8",
        120, 60, 3195, 255);
    List1 = controls::place(new QListView(this), "List1", 120, 360, 5475, 1635);
    List1->setModel(m_folderList);
    List1->setUniformItemSizes(true);
    List1->setAccessibleName(Label8->text());
    cmd_search = controls::place(new QPushButton(QStringLiteral("Suchen"), this), "cmd_search", 120,
                                 2100, 5475, 375);
    lbl_status = controls::place(new QLabel(QStringLiteral("Status"), this), "lbl_status", 1020,
                                 3480, 4575, 255);

    Form_Load();
}

void Form2::Form_Load()
{
    window_geometry::centreOnScreen(this);
    m_folderList->load(m_store);
    // A content search is under way while the main window's status begins with "Suche l".
    cmd_search->setEnabled(!m_mainWindow.statusText().startsWith(QStringLiteral("Suche l")));
}
