#include "widgets/Pictures.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
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

namespace {

QPixmap render(QSvgRenderer& renderer, QSize size) {
  if (!size.isValid()) size = renderer.defaultSize();
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

QIcon renderProgramIcon() {
  ensureControlsResources();
  QSvgRenderer renderer(QStringLiteral(":/controls/pictures/vantrel-formulare.svg"));
  QIcon icon;
  if (!renderer.isValid()) return icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(render(renderer, {size, size}));
  return icon;
}

// Shows its picture only when the label is first shown, holding its place meanwhile: the
// larger drawings on tabs the user may never open are not drawn at the start.
class PictureOnFirstShow final : public QObject {
 public:
  PictureOnFirstShow(QLabel* label, const QString& path) : QObject(label), path_(path) {
    ensureControlsResources();
    QSvgRenderer renderer(path_);
    label->setMinimumSize(renderer.defaultSize());
    label->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      auto* label = static_cast<QLabel*>(watched);
      label->removeEventFilter(this);
      label->setPixmap(pictureFromResource(path_));
      deleteLater();
    }
    return false;
  }

 private:
  QString path_;
};

}  // namespace

QPixmap pictureFromResource(const QString& path, QSize size) {
  ensureControlsResources();
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return QPixmap();
  return render(renderer, size);
}

void setPictureWhenShown(QLabel* label, const QString& path) {
  new PictureOnFirstShow(label, path);
}

QIcon iconFromResource(const QString& path) { return QIcon(pictureFromResource(path)); }

QIcon programIcon() {
  // Every window shows it; drawn once per application, and let go with it.
  static QIcon* drawn = nullptr;
  if (!drawn) {
    drawn = new QIcon(renderProgramIcon());
    qAddPostRoutine([] {
      delete drawn;
      drawn = nullptr;
    });
  }
  return *drawn;
}

}  // namespace vantrel
