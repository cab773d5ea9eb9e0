#pragma once
// Where the tool's windows open: its dialogs in the middle of the screen, not over the window
// that owns them; its other windows over the main window.

class QWidget;

namespace vantrel {

// Centres the window, frame included, in the free area of its owner's screen (or of the
// primary screen when it has no owner). Called when it is shown, after the dialog has placed
// itself over its owner.
void centreOnScreen(QWidget& window);

// Centres the window, frame included, over its owner's frame, kept within the free area of the
// owner's screen. For windows that belong to the main window rather than to the moment.
void centreOver(QWidget& window, const QWidget& owner);

}  // namespace vantrel
