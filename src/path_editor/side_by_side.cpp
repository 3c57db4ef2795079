#include "path_editor/side_by_side.h"

SideBySide sideBySide(int mainLeft, int mainWidth, int editorWidth, int screenRight)
{
    if (mainLeft + mainWidth + editorWidth > screenRight)
        mainLeft = screenRight - editorWidth - mainWidth;
    return {mainLeft, mainLeft + mainWidth};
}
