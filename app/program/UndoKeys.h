#pragma once

class QMenu;

namespace mugrove {

struct Form;

// Ctrl+Z undoes and Ctrl+Shift+Z or Ctrl+Y redo, wherever the keyboard
// focus is in the main window; the edit boxes give their own undo up, and
// the undo and redo of their right-click menus act on the meme's history.
void BindUndo(Form& form);

// "撤销(&U)" and "重做(&R)" with their keys shown, greyed when there is
// nothing to undo or redo, and a separator after them.
void AddUndoEntries(QMenu& menu, Form& form);

} // namespace mugrove
