#pragma once
// Pictures drawn while the program is built, kept as raw pixels that load without a picture
// codec: the width and height as little-endian 32-bit numbers, then the premultiplied ARGB32
// pixels row by row, four bytes each, with nothing between the rows.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <optional>

namespace vantrel {

[[nodiscard]] QByteArray pixelFileOf(const QImage& image);

// The picture, when the bytes hold exactly one of a sensible size; nothing otherwise.
[[nodiscard]] std::optional<QImage> imageFromPixelFile(QByteArrayView bytes);

}  // namespace vantrel
