#include "main_window/notes_text.h"

namespace {

constexpr int linesPerParagraph = 32;

} // namespace

NotesForDisplay notesForDisplay(const QString &storedNotes)
{
    // The document takes CR LF as a paragraph break by itself.
    if (storedNotes.contains(QChar::LineSeparator))
        return {storedNotes, false};
    QString text;
    text.reserve(storedNotes.size());
    qsizetype lineStart = 0;
    for (int line = 1;; ++line) {
        const qsizetype lineEnd = storedNotes.indexOf(u"\r\n", lineStart);
        if (lineEnd < 0)
            break;
        text += QStringView(storedNotes).mid(lineStart, lineEnd - lineStart);
        text += line % linesPerParagraph == 0 ? QChar(u'\n') : QChar(QChar::LineSeparator);
        lineStart = lineEnd + 2;
    }
    text += QStringView(storedNotes).mid(lineStart);
    return {text, true};
}

QString notesForStore(const QString &rawDocumentText, bool lineSeparatorsAreBreaks)
{
    QString text;
    text.reserve(rawDocumentText.size() + rawDocumentText.size() / 8);
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < rawDocumentText.size(); ++i) {
        const QChar c = rawDocumentText.at(i);
        if (c == QChar::ParagraphSeparator ||
            (lineSeparatorsAreBreaks && c == QChar::LineSeparator)) {
            text += QStringView(rawDocumentText).mid(lineStart, i - lineStart);
            text += u"\r\n";
            lineStart = i + 1;
        }
    }
    text += QStringView(rawDocumentText).mid(lineStart);
    return text;
}

QString takenLines(bool padIsEmpty, const QStringList &lines)
{
    QString taken;
    for (const QString &line : lines) {
        if (!padIsEmpty)
            taken += u'\n';
        taken += line;
        padIsEmpty = padIsEmpty && line.isEmpty();
    }
    return taken;
}

QString storedNotesWith(const QString &storedNotes, const QStringList &lines)
{
    const QString lineBreak = QStringLiteral("\r\n");
    return storedNotes + (storedNotes.isEmpty() ? QString() : lineBreak) + lines.join(lineBreak);
}
