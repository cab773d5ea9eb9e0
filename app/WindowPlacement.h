#pragma once
// The main window's placement and the remembered check box, kept between runs in an INI
// file named after the program ("vantrel-formulare.INI" in the user's configuration folder).

#include <QList>
#include <QRect>
#include <QSettings>
#include <QString>
#include <array>
#include <optional>

class QWidget;

namespace vantrel {

// The tool's INI file as the platform's INI functions keep it ("key=value" with the value as it
// is). Every reader and writer of the file uses it: QSettings shares one parsed copy of a file
// between its users, so a second format on the same file would read the other's values wrongly
// and write them back quoted.
QSettings::Format plainIniFormat();

struct WindowPlacement {
  int flags = 0;
  int showCmd = 1;  // 1 normal, 2 minimised, 3 maximised
  int pixelsPerInch = 96;
  std::array<int, 4> minMaxPos = {-1, -1, -1, -1};  // minimised x, y; maximised x, y
  std::array<int, 4> normPos = {0, 0, 0, 0};        // normal left, top, right, bottom
};

inline constexpr int kShowNormal = 1;
inline constexpr int kShowMinimized = 2;
inline constexpr int kShowMaximized = 3;

// "%d,%d,%d,%d"
QString formatFourInts(const std::array<int, 4>& values);
std::optional<std::array<int, 4>> parseFourInts(const QString& text);

// The INI file's full path for a program file.
QString settingsFileFor(const QString& programFile);

struct StoredWindowState {
  std::optional<WindowPlacement> placement;  // nothing at the first start
  bool autoStart = false;
};

StoredWindowState readWindowState(const QString& iniFile);
void writeWindowState(const QString& iniFile, const WindowPlacement& placement, bool autoStart);

// The placement of a window whose normal rectangle, frame included, is `normalOuter`.
WindowPlacement placementOf(const QWidget& window, const QRect& normalOuter);

// NormPos as a rectangle: the window's normal place, frame included.
QRect normalOuterRect(const WindowPlacement& placement);

// The free areas of the screens there are now (without task bars and panels), the primary
// screen's first.
QList<QRect> screenFreeAreas();

// `outer` moved, and shrunk where it is larger, as little as needed to lie wholly in one free
// area: the one that holds the most of it, else the first. So the title bar can always be
// reached, whatever screen or scale the rectangle was saved on.
QRect keptOnScreen(const QRect& outer, const QList<QRect>& freeAreas);

// A rectangle of `size` in the middle of `area`.
QRect centredIn(const QSize& size, const QRect& area);

}  // namespace vantrel
