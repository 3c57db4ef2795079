#pragma once

// Where "Suchen" puts the main window and the editor, as outer left edges in twips: the editor
// directly right of the main window; when both do not fit, the main window moves left until the
// editor's right edge meets the screen's.
struct SideBySide
{
    int mainLeft;
    int editorLeft;
};

SideBySide sideBySide(int mainLeft, int mainWidth, int editorWidth, int screenRight);
