// Draws the windows' pictures from their SVG while the program is built, with the same renderer
// the windows would use, into pixel files (widgets/PixelFile.h) the windows load at their start.
//
//   vantrel-render-pictures OUTPUT_FOLDER SVG[=SIZE]...
//
// Each picture lands as NAME.argb at its own size, or as NAME-SIZE.argb drawn SIZE x SIZE.

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <cstdio>

#include "widgets/PixelFile.h"

namespace {

bool renderPicture(const QString& outputFolder, const QString& argument) {
  const qsizetype equals = argument.lastIndexOf(u'=');
  const QString svg = equals < 0 ? argument : argument.first(equals);
  QSvgRenderer renderer(svg);
  if (!renderer.isValid()) {
    std::fprintf(stderr, "vantrel-render-pictures: %s is not a drawing\n", qPrintable(svg));
    return false;
  }
  QString name = QFileInfo(svg).completeBaseName();
  QSize size = renderer.defaultSize();
  if (equals >= 0) {
    bool ok = false;
    const int side = argument.sliced(equals + 1).toInt(&ok);
    if (!ok || side <= 0) return false;
    size = QSize(side, side);
    name += QStringLiteral("-%1").arg(side);
  }
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();

  QSaveFile file(outputFolder + u'/' + name + QStringLiteral(".argb"));
  if (!file.open(QIODevice::WriteOnly) || file.write(vantrel::pixelFileOf(image)) < 0 ||
      !file.commit()) {
    std::fprintf(stderr, "vantrel-render-pictures: cannot write %s\n", qPrintable(file.fileName()));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vantrel-render-pictures OUTPUT_FOLDER SVG[=SIZE]...\n");
    return 2;
  }
  const QString outputFolder = QFile::decodeName(argv[1]);
  for (int i = 2; i < argc; ++i) {
    if (!renderPicture(outputFolder, QFile::decodeName(argv[i]))) return 1;
  }
  return 0;
}
