#include "main_window/form1.h"

#include "main_window/height_layout.h"
#include "main_window/notes_text.h"
#include "main_window/path_list_model.h"
#include "settings/settings_store.h"
#include "widgets/clickable_label.h"
#include "widgets/window_geometry.h"

#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

constexpr int wideFormWidth = 15345;

} // namespace

void Form1::cmd_opennote_Click()
{
    if (isMaximised())
        return;
    if (window_geometry::outerWidth(this) == m_narrowWidth) {
        widenForNotes();
        cmd_opennote->setText(QStringLiteral("<<"));
    } else {
        cmd_opennote->setText(QStringLiteral(">>"));
        setNarrowWidth();
    }
}

// Widens whatever the width, and leaves the button's caption as it is.
void Form1::Label8_DblClick()
{
    if (!isMaximised())
        widenForNotes();
    appendToNotes(QLatin1Char('\n') + Label8->text());
}

void Form1::img_putlisttoinfo_Click()
{
    QModelIndexList marked = List2->selectionModel()->selectedRows();
    std::sort(marked.begin(), marked.end());
    QStringList lines;
    lines.reserve(marked.size());
    for (const QModelIndex &entry : std::as_const(marked))
        lines.append(m_results->textAt(entry.row()));
    takeNotes(lines);
}

// Lines from another window, such as the where-used tree's marked files.
void Form1::takeNotes(const QStringList &lines)
{
    appendToNotes(takenLines(txt_note->document()->isEmpty(), lines));
}

// Shutdown saves the empty text, so the next start shows an empty pad.
void Form1::Command7_Click()
{
    txt_note->clear();
}

void Form1::restoreNotes()
{
    const NotesForDisplay notes = notesForDisplay(m_store.value(SettingsStore::Key::Notes));
    m_notesLineSeparatorsAreBreaks = notes.lineSeparatorsAreBreaks;
    txt_note->setPlainText(notes.text);
}

QString Form1::notesToStore() const
{
    return notesForStore(txt_note->document()->toRawText(), m_notesLineSeparatorsAreBreaks);
}

// Where the window system rounds sizes to whole pixels, the narrow width reads back as what it
// became, and the toggle compares with that.
void Form1::setNarrowWidth()
{
    window_geometry::setOuterWidth(this, narrowFormWidth);
    m_narrowWidth = window_geometry::outerWidth(this);
}

void Form1::widenForNotes()
{
    window_geometry::setOuterWidth(this, wideFormWidth);
    window_geometry::keepRightEdgeOnScreen(this);
}

bool Form1::isMaximised() const
{
    return windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
}

// At the end of the text, past the user's own cursor, and undoable like typing.
void Form1::appendToNotes(const QString &text)
{
    if (text.isEmpty())
        return;
    QTextCursor end(txt_note->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
}
