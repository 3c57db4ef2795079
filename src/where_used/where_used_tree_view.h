#pragma once

#include <QByteArrayList>
#include <QList>
#include <QPersistentModelIndex>
#include <QTreeView>

class WhereUsedModel;

// The where-used tree as a mouse user reads it: expand arrows on rows not yet opened, everything
// opened or closed at once, rows narrowed by name, and on the marked rows what users of file
// search tools expect: open, open the folder, copy the paths (also Ctrl+C).
class WhereUsedTreeView : public QTreeView
{
    Q_OBJECT

public:
    // More rows than this are not made by "alle aufklappen": a file used in many places
    // multiplies the rows above it.
    static constexpr int rowLimit = 100000;

    explicit WhereUsedTreeView(QWidget *parent = nullptr);

    void setWhereUsedModel(WhereUsedModel *model);
    // "alle aufklappen"; false when the row limit left rows closed.
    bool expandEverything();
    // "alle zuklappen": the part's rows stay shown.
    void collapseToPart();
    // Shows only the rows whose name holds the text, with the rows above them; an empty text
    // shows every row again.
    void setNameFilter(const QString &text);
    // The marked rows' paths, top to bottom; the typed part has none.
    QByteArrayList markedPaths() const;
    // Marks the file's row and shows it, opening the rows above it.
    void showFile(qsizetype file);

    void openMarked();
    void openMarkedFolders();
    void copyMarkedPaths();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showRowMenu(const QPoint &position);

    WhereUsedModel *m_model = nullptr;
    // the rows the name filter hides
    QList<QPersistentModelIndex> m_hidden;
};
