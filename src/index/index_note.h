#pragma once

#include "index/index_filter.h"

#include <QString>

// The main window's note is German, spurwerk-find's English; the order of the tables' columns.
enum class NoteLanguage
{
    German,
    English
};

// What a front end tells of the index's part in a run: that it answered and how many files were
// read, or why it was not used; empty when there is no index at all. One decision, worded in the
// front end's language. alone: the index was to answer alone, without reading files.
QString indexNote(const IndexReport &report, NoteLanguage language, bool alone = false);
