#pragma once

#include <QString>

class QWidget;

// What the editor window uses of the main window.
class MainWindowLink
{
public:
    virtual bool isSearchRunning() const = 0;
    // The run has got to searching the files' contents.
    virtual bool isSearchingContents() const = 0;
    // Presses "Suche starten": runs its click handler at once and returns when it has finished.
    virtual void pressCommand3() = 0;
    // The hidden label Label1, the folder currently searched.
    virtual void setLabel1(const QString &text) = 0;
    // The main window itself, for its outer geometry.
    virtual QWidget *outerWindow() = 0;

protected:
    ~MainWindowLink() = default;
};
