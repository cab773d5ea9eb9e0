// The yardstick for the tool's start: the least a Qt Widgets program does to show a main
// window (application object, one window with a label, the event loop). window_start_bench
// times it beside the tool.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Minimal"));
  window.setCentralWidget(new QLabel(QStringLiteral("Minimal"), &window));
  window.resize(640, 480);
  window.show();
  return app.exec();
}
