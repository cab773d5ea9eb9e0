#include "app/WindowPlacement.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QWidget>
#include <algorithm>

namespace vantrel {
namespace {

const QString kSection = QStringLiteral("TMainForm");
const QString kAutoStartKey = QStringLiteral("AutoStartCheck.Checked");
const QString kGeneralSection = QStringLiteral("General");  // keys outside any section

QString key(const char* name) { return kSection + u'/' + QString::fromLatin1(name); }

// A value in double quotes, as earlier versions wrote values with commas, without them.
QString unquoted(const QString& value) {
  if (value.size() < 2 || !value.startsWith(u'"') || !value.endsWith(u'"')) return value;
  QString plain;
  const QStringView inner = QStringView(value).mid(1, value.size() - 2);
  for (qsizetype i = 0; i < inner.size(); ++i) {
    if (inner[i] == u'\\' && i + 1 < inner.size()) ++i;
    plain += inner[i];
  }
  return plain;
}

// The INI file as the platform's INI functions keep it: "[section]" lines and "key=value"
// lines with the value as it is. Qt's own INI format would quote every value with a comma
// in it (NormPos="100,80,738,592").
bool readPlainIni(QIODevice& device, QSettings::SettingsMap& map) {
  QString section;
  while (!device.atEnd()) {
    const QString line = QString::fromUtf8(device.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
    if (line.startsWith(u'[') && line.endsWith(u']')) {
      section = line.mid(1, line.size() - 2).trimmed();
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals <= 0) continue;
    const QString name = line.left(equals).trimmed();
    const QString value = unquoted(line.mid(equals + 1).trimmed());
    const bool topLevel = section.isEmpty() || section == kGeneralSection;
    map.insert(topLevel ? name : section + u'/' + name, value);
  }
  return true;
}

bool writePlainIni(QIODevice& device, const QSettings::SettingsMap& map) {
  QString section;
  bool first = true;
  for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
    const qsizetype slash = entry.key().indexOf(u'/');
    const QString entrySection = slash < 0 ? kGeneralSection : entry.key().left(slash);
    if (first || entrySection != section) {
      if (!first) device.write("\n");
      device.write('[' + entrySection.toUtf8() + "]\n");
      section = entrySection;
      first = false;
    }
    device.write(entry.key().mid(slash + 1).toUtf8() + '=' + entry.value().toString().toUtf8() +
                 '\n');
  }
  return true;
}

}  // namespace

QSettings::Format plainIniFormat() {
  static const QSettings::Format format =
      QSettings::registerFormat(QStringLiteral("INI"), readPlainIni, writePlainIni);
  return format;
}

QString formatFourInts(const std::array<int, 4>& values) {
  return QString::asprintf("%d,%d,%d,%d", values[0], values[1], values[2], values[3]);
}

std::optional<std::array<int, 4>> parseFourInts(const QString& text) {
  const QStringList parts = text.split(u',');
  if (parts.size() != 4) return std::nullopt;
  std::array<int, 4> values{};
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    values[static_cast<size_t>(i)] = parts[i].trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
  }
  return values;
}

QString settingsFileFor(const QString& programFile) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return folder + u'/' + QFileInfo(programFile).completeBaseName() + QStringLiteral(".INI");
}

StoredWindowState readWindowState(const QString& iniFile) {
  QSettings ini(iniFile, plainIniFormat());
  StoredWindowState state;
  state.autoStart = ini.value(kSection + u'/' + kAutoStartKey, false).toBool();
  const auto normPos = parseFourInts(ini.value(key("NormPos")).toString());
  if (!normPos) return state;
  WindowPlacement placement;
  placement.normPos = *normPos;
  placement.flags = ini.value(key("Flags"), 0).toInt();
  placement.showCmd = ini.value(key("ShowCmd"), kShowNormal).toInt();
  placement.pixelsPerInch = ini.value(key("PixelsPerInch"), 96).toInt();
  if (const auto minMax = parseFourInts(ini.value(key("MinMaxPos")).toString())) {
    placement.minMaxPos = *minMax;
  }
  state.placement = placement;
  return state;
}

// QSettings writes through a new file renamed over the old one.
void writeWindowState(const QString& iniFile, const WindowPlacement& placement, bool autoStart) {
  QSettings ini(iniFile, plainIniFormat());
  ini.setValue(key("Flags"), placement.flags);
  ini.setValue(key("ShowCmd"), placement.showCmd);
  ini.setValue(key("PixelsPerInch"), placement.pixelsPerInch);
  ini.setValue(key("MinMaxPos"), formatFourInts(placement.minMaxPos));
  ini.setValue(key("NormPos"), formatFourInts(placement.normPos));
  ini.setValue(kSection + u'/' + kAutoStartKey, autoStart);
  ini.sync();
}

WindowPlacement placementOf(const QWidget& window, const QRect& normalOuter) {
  WindowPlacement placement;
  if (window.isMinimized()) {
    placement.showCmd = kShowMinimized;
  } else if (window.isMaximized()) {
    placement.showCmd = kShowMaximized;
  }
  placement.normPos = {normalOuter.left(), normalOuter.top(),
                       normalOuter.left() + normalOuter.width(),
                       normalOuter.top() + normalOuter.height()};
  if (const QScreen* screen = window.screen()) {
    placement.pixelsPerInch = qRound(screen->logicalDotsPerInch());
  }
  return placement;
}

QRect normalOuterRect(const WindowPlacement& placement) {
  const auto& [left, top, right, bottom] = placement.normPos;
  return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

QList<QRect> screenFreeAreas() {
  QList<QRect> areas;
  if (const QScreen* primary = QGuiApplication::primaryScreen())
    areas.append(primary->availableGeometry());
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen != QGuiApplication::primaryScreen()) areas.append(screen->availableGeometry());
  }
  return areas;
}

QRect keptOnScreen(const QRect& outer, const QList<QRect>& freeAreas) {
  if (freeAreas.isEmpty()) return outer;
  QRect area = freeAreas.front();
  qint64 mostShared = 0;
  for (const QRect& candidate : freeAreas) {
    const QRect shared = candidate.intersected(outer);
    const qint64 sharedSize = qint64{shared.width()} * shared.height();
    if (sharedSize > mostShared) {
      mostShared = sharedSize;
      area = candidate;
    }
  }
  QRect kept(outer.topLeft(), outer.size().boundedTo(area.size()));
  kept.moveLeft(std::clamp(kept.left(), area.left(), area.right() + 1 - kept.width()));
  kept.moveTop(std::clamp(kept.top(), area.top(), area.bottom() + 1 - kept.height()));
  return kept;
}

QRect centredIn(const QSize& size, const QRect& area) {
  QRect rect(QPoint(0, 0), size);
  rect.moveCenter(area.center());
  return rect;
}

}  // namespace vantrel
