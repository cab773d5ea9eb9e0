#pragma once
// The tool's dialogs open in the middle of the screen, not over the window that owns them.

class QWidget;

namespace vantrel {

// Centres the window, frame included, in the free area of its owner's screen (or of the
// primary screen when it has no owner). Called when it is shown, after the dialog has placed
// itself over its owner.
void centreOnScreen(QWidget& window);

}  // namespace vantrel
