#include "main_window/where_used_start.h"

#include "main_window/notes_text.h"
#include "platform/windows/message_box.h"
#include "settings/settings_store.h"
#include "where_used/where_used_question.h"
#include "where_used/where_used_window.h"

WhereUsedWindow *showWhereUsedAlone(const QByteArray &file, SettingsStore &store)
{
    const QuestionCheck check = questionForFile(file);
    if (!check.problem.isEmpty()) {
        platform::showMessage(nullptr, check.problem);
        return nullptr;
    }
    auto *window = new WhereUsedWindow([&store](const QStringList &lines) {
        store.setValue(SettingsStore::Key::Notes,
                       storedNotesWith(store.value(SettingsStore::Key::Notes), lines));
        if (const SaveResult saved = store.sync(); !saved.saved())
            platform::showMessage(nullptr, QStringLiteral("Das Notizblatt wurde nicht "
                                                          "gespeichert.\n\n") +
                                               saved.reason());
    });
    // the file manager starts programs in the home folder: the exports go beside the part
    window->setExportFolder(check.question.folders.constFirst());
    window->ask(check.question);
    window->show();
    return window;
}
