// The plugin that holds "Auswertung" for the tool, which loads it when the window is first asked
// for: one function that makes the window.

#include "app/AnswersForm.h"
#include "app/AnswersWindow.h"

extern "C" Q_DECL_EXPORT QWidget* vantrel_make_answers_window(
    const vantrel::AnswersWindowSetup& setup) {
  return vantrel::makeLinkedAnswersWindow(setup);
}
