#include "widgets/PixelFile.h"

#include <QtEndian>
#include <cstring>

namespace vantrel {
namespace {

constexpr qsizetype kHeaderSize = 8;
constexpr quint32 kLargestSide = 4096;

}  // namespace

QByteArray pixelFileOf(const QImage& image) {
  const QImage pixels = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const auto width = static_cast<quint32>(pixels.width());
  const auto height = static_cast<quint32>(pixels.height());
  const qsizetype rowBytes = qsizetype{4} * pixels.width();
  QByteArray bytes(kHeaderSize + rowBytes * pixels.height(), Qt::Uninitialized);
  qToLittleEndian(width, bytes.data());
  qToLittleEndian(height, bytes.data() + 4);
  for (int y = 0; y < pixels.height(); ++y) {
    std::memcpy(bytes.data() + kHeaderSize + rowBytes * y, pixels.constScanLine(y),
                static_cast<size_t>(rowBytes));
  }
  return bytes;
}

std::optional<QImage> imageFromPixelFile(QByteArrayView bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  const quint32 width = qFromLittleEndian<quint32>(bytes.data());
  const quint32 height = qFromLittleEndian<quint32>(bytes.data() + 4);
  if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide)
    return std::nullopt;
  const qsizetype rowBytes = qsizetype{4} * width;
  if (bytes.size() != kHeaderSize + rowBytes * height) return std::nullopt;
  QImage image(static_cast<int>(width), static_cast<int>(height),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return std::nullopt;
  for (quint32 y = 0; y < height; ++y) {
    std::memcpy(image.scanLine(static_cast<int>(y)), bytes.data() + kHeaderSize + rowBytes * y,
                static_cast<size_t>(rowBytes));
  }
  return image;
}

}  // namespace vantrel
