#pragma once
// What the X server and the window manager say about a window, read with the X utilities
// (xprop, xwininfo) rather than through Qt: the title a task bar shows and the frame a user
// sees, in the screen's own pixels.

#include <QMargins>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <optional>

namespace vantrel::test {

struct XWindowFacts {
  QString title;   // _NET_WM_NAME
  QRect client;    // the window itself, on the screen
  QMargins frame;  // _NET_FRAME_EXTENTS, set once the window manager has framed it
  bool framed = false;

  QRect outer() const { return client.marginsAdded(frame); }
  bool operator==(const XWindowFacts&) const = default;
};

// Output of an X utility, in UTF-8; empty when it fails or does not finish.
inline QString runXTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished();
    return QString();
  }
  return QString::fromUtf8(process.readAllStandardOutput());
}

inline std::optional<int> numberAfter(const QString& text, const QString& label) {
  const QRegularExpression pattern(QRegularExpression::escape(label) +
                                   QStringLiteral(R"(\s*(-?\d+))"));
  const QRegularExpressionMatch match = pattern.match(text);
  if (!match.hasMatch()) return std::nullopt;
  return match.captured(1).toInt();
}

// xprop prints a text property in double quotes, with quotes and backslashes escaped.
inline QString quotedValue(const QString& line) {
  const qsizetype first = line.indexOf(u'"');
  const qsizetype last = line.lastIndexOf(u'"');
  if (first < 0 || last <= first) return QString();
  QString value;
  const QString inner = line.mid(first + 1, last - first - 1);
  for (qsizetype i = 0; i < inner.size(); ++i) {
    if (inner[i] == u'\\' && i + 1 < inner.size()) ++i;
    value += inner[i];
  }
  return value;
}

inline XWindowFacts readXWindowFacts(WId window) {
  XWindowFacts facts;
  const QString id = QString::number(window);
  const QString properties =
      runXTool(QStringLiteral("xprop"),
               {QStringLiteral("-notype"), QStringLiteral("-id"), id,
                QStringLiteral("_NET_WM_NAME"), QStringLiteral("_NET_FRAME_EXTENTS")});
  for (const QString& line : properties.split(u'\n')) {
    if (line.startsWith(QStringLiteral("_NET_WM_NAME ="))) facts.title = quotedValue(line);
    if (line.startsWith(QStringLiteral("_NET_FRAME_EXTENTS ="))) {
      const QStringList values = line.section(u'=', 1).split(u',');
      if (values.size() == 4) {
        // left, right, top, bottom
        facts.frame = QMargins(values[0].trimmed().toInt(), values[2].trimmed().toInt(),
                               values[1].trimmed().toInt(), values[3].trimmed().toInt());
        facts.framed = true;
      }
    }
  }
  const QString info = runXTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
  facts.client = QRect(numberAfter(info, QStringLiteral("Absolute upper-left X:")).value_or(0),
                       numberAfter(info, QStringLiteral("Absolute upper-left Y:")).value_or(0),
                       numberAfter(info, QStringLiteral("Width:")).value_or(0),
                       numberAfter(info, QStringLiteral("Height:")).value_or(0));
  return facts;
}

// The size of the X screen, in its own pixels.
inline QSize xScreenSize() {
  const QString info = runXTool(QStringLiteral("xwininfo"), {QStringLiteral("-root")});
  return QSize(numberAfter(info, QStringLiteral("Width:")).value_or(0),
               numberAfter(info, QStringLiteral("Height:")).value_or(0));
}

// The facts once the window manager has framed the window and the window has stopped moving
// (a window may still fit itself to its frame); what was seen last after ten seconds.
inline XWindowFacts settledXWindowFacts(const QWidget& window) {
  XWindowFacts last;
  int sameInARow = 0;
  for (int attempt = 0; attempt < 100 && sameInARow < 3; ++attempt) {
    QTest::qWait(100);
    const XWindowFacts now = readXWindowFacts(window.winId());
    sameInARow = now.framed && now == last ? sameInARow + 1 : 0;
    last = now;
  }
  return last;
}

}  // namespace vantrel::test
