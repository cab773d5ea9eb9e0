// The read of "Auswertung" alone, for answers_export_bench to measure beside the export: the
// window (never shown) reads a Maildir with its reader thread, keeps and tabulates the answers
// and fills its table and charts, then prints how many answers it shows.
//
//   answers_window_read MAILDIR

#include <QApplication>
#include <cstdio>

#include "app/AnswersForm.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: answers_window_read MAILDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  vantrel::TAnswersForm window({});
  window.readSource(argv[1]);
  while (window.reading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  std::printf("%llu\n", static_cast<unsigned long long>(window.report().answers));
  return window.report().answers > 0 ? 0 : 1;
}
