#include "widgets/Pictures.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QResource>
#include <QSvgRenderer>
#include <functional>
#include <optional>
#include <utility>

#include "widgets/PixelFile.h"

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

const QString kPictureFolder = QStringLiteral(":/controls/pictures/");
const QString kDrawnAtBuildFolder = QStringLiteral(":/controls/rendered/");
const QString kSvgSuffix = QStringLiteral(".svg");

// The picture of that name drawn while the program was built (widgets/PixelFile.h).
std::optional<QPixmap> drawnAtBuild(const QString& name) {
  const QResource resource(kDrawnAtBuildFolder + name + QStringLiteral(".argb"));
  if (!resource.isValid()) return std::nullopt;
  const std::optional<QImage> image = imageFromPixelFile(resource.uncompressedData());
  if (!image) return std::nullopt;
  return QPixmap::fromImage(*image);
}

QPixmap render(QSvgRenderer& renderer, QSize size) {
  if (!size.isValid()) size = renderer.defaultSize();
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

// The picture drawn from `svgPath` while the program was built, when there is one of `size`
// (of any size when `size` is not valid).
std::optional<QPixmap> drawnAtBuildFrom(const QString& svgPath, QSize size) {
  if (!svgPath.startsWith(kPictureFolder) || !svgPath.endsWith(kSvgSuffix)) return std::nullopt;
  const QString name = svgPath.sliced(kPictureFolder.size()).chopped(kSvgSuffix.size());
  std::optional<QPixmap> drawn = drawnAtBuild(name);
  if (drawn && size.isValid() && drawn->size() != size) return std::nullopt;
  return drawn;
}

QIcon renderProgramIcon() {
  ensureControlsResources();
  const QString drawing = kPictureFolder + QStringLiteral("vantrel-formulare") + kSvgSuffix;
  QIcon icon;
  std::optional<QSvgRenderer> renderer;
  for (const int size : {16, 24, 32, 48, 64, 128}) {
    std::optional<QPixmap> drawn = drawnAtBuild(QStringLiteral("vantrel-formulare-%1").arg(size));
    if (!drawn) {
      if (!renderer) renderer.emplace(drawing);
      if (!renderer->isValid()) return icon;
      drawn = render(*renderer, {size, size});
    }
    icon.addPixmap(*drawn);
  }
  return icon;
}

// Runs its work when the widget is first shown, then goes.
class OnFirstShow final : public QObject {
 public:
  OnFirstShow(QWidget* widget, std::function<void()> work)
      : QObject(widget), work_(std::move(work)) {
    widget->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      watched->removeEventFilter(this);
      work_();
      deleteLater();
    }
    return false;
  }

 private:
  std::function<void()> work_;
};

}  // namespace

QPixmap pictureFromResource(const QString& path, QSize size) {
  if (std::optional<QPixmap> drawn = drawnAtBuildFrom(path, size)) return *drawn;
  ensureControlsResources();
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return QPixmap();
  return render(renderer, size);
}

void whenFirstShown(QWidget* widget, std::function<void()> work) {
  new OnFirstShow(widget, std::move(work));
}

// The label holds the picture's place meanwhile: the larger drawings on tabs the user may never
// open are not drawn at the start.
void setPictureWhenShown(QLabel* label, const QString& path) {
  ensureControlsResources();
  label->setMinimumSize(QSvgRenderer(path).defaultSize());
  whenFirstShown(label, [label, path] { label->setPixmap(pictureFromResource(path)); });
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
