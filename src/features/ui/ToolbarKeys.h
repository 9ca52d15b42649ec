#pragma once

class QToolBar;

// Qt leaves toolbar buttons out of the Tab chain: here they take the focus from Tab, so that every
// command (the toolbar menus too: Space opens them) is reachable without a mouse. A button whose
// command shows no caption is named after the command's hint for screen readers. Buttons added to
// the bar later are treated alike.
void MakeToolbarReachable(QToolBar *bar);
