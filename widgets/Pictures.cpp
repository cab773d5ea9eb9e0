#include "widgets/Pictures.h"

#include <QPainter>
#include <QSvgRenderer>

// The resources live in a static library: register them on first use so the linker keeps them.
static void ensureControlsResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(widgets);
    return true;
  }();
  (void)registered;
}

namespace vantrel {

QPixmap pictureFromResource(const QString& path, QSize size) {
  ensureControlsResources();
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return QPixmap();
  if (!size.isValid()) size = renderer.defaultSize();
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

QIcon iconFromResource(const QString& path) { return QIcon(pictureFromResource(path)); }

QIcon programIcon() {
  const QString drawing = QStringLiteral(":/controls/pictures/vantrel-formulare.svg");
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) {
    icon.addPixmap(pictureFromResource(drawing, QSize(size, size)));
  }
  return icon;
}

}  // namespace vantrel
