#pragma once

#include <QByteArray>

class SettingsStore;
class WhereUsedWindow;

// The file manager's "Wo verwendet?" start: the where-used window alone, for the file's base name
// in the saved list's folders, its own folder and the office index's folders that hold it (see
// foldersForPartFile); marked files go to the stored notes pad. Returns the window, which is
// searching; none when the file cannot be asked for, which a message has said.
WhereUsedWindow *showWhereUsedAlone(const QByteArray &file, SettingsStore &store);
