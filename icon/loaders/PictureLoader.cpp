#include "icon/loaders/PictureLoader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>
#include <utility>

#include "base/ByteFile.h"
#include "base/FailureKinds.h"
#include "icon/loaders/JpegPicture.h"
#include "icon/loaders/MetafileSvg.h"

namespace vantrel {

namespace {

// An icon file may list up to 65535 images; a real one holds a handful.
constexpr int kMaxIconImages = 64;

std::string lowerExtension(const std::string& path) {
  const std::string name = fileNamePart(path);
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string readPictureFile(const std::string& path) {
  try {
    FileReader reader(path);
    if (reader.remaining() > kMaxPictureFileBytes) {
      throw PictureError(failure(PictureFailure::FileTooLarge, reader.remaining()));
    }
    return readBytes(reader, reader.remaining());
  } catch (const FileError& error) {
    throw PictureError(error.failure());
  } catch (const InOutError& error) {
    throw PictureError(error.failure());
  }
}

std::uint8_t* rowOf(Picture& picture, int y) {
  return picture.rgba.data() + picture.offsetOf(0, y);
}

// Qt's own conversion of one row, for formats met rarely.
void convertRow(const QImage& image, int y, Picture& picture) {
  const QImage row = image.copy(0, y, image.width(), 1).convertToFormat(QImage::Format_RGBA8888);
  if (row.isNull()) throw PictureError(failure(PictureFailure::NotConverted));
  std::copy_n(row.constScanLine(0), static_cast<std::size_t>(image.width()) * 4, rowOf(picture, y));
}

// A palette row looked up pixel by pixel, as Qt's conversion does; a row with an index beyond
// the palette is left to Qt.
void convertPaletteRow(const QImage& image, const QList<QRgb>& palette, int y, Picture& picture) {
  const uchar* indices = image.constScanLine(y);
  std::uint8_t* out = rowOf(picture, y);
  for (int x = 0; x < image.width(); ++x, out += 4) {
    if (indices[x] >= palette.size()) return convertRow(image, y, picture);
    const QRgb colour = palette[indices[x]];
    out[0] = static_cast<std::uint8_t>(qRed(colour));
    out[1] = static_cast<std::uint8_t>(qGreen(colour));
    out[2] = static_cast<std::uint8_t>(qBlue(colour));
    out[3] = static_cast<std::uint8_t>(qAlpha(colour));
  }
}

// Only the decoder's image and the result are ever held together, never a converted copy of
// the whole picture beside them: 32-bit pictures are converted in place, palette pictures
// looked up, other formats converted a row at a time.
Picture fromImage(QImage image) {
  Picture picture = makePicture(image.width(), image.height());
  if (image.depth() == 32) image.convertTo(QImage::Format_RGBA8888);  // straight alpha
  const QList<QRgb> palette = image.colorTable();
  const auto rowBytes = static_cast<std::size_t>(image.width()) * 4;
  for (int y = 0; y < image.height(); ++y) {
    if (image.format() == QImage::Format_RGBA8888)
      std::copy_n(image.constScanLine(y), rowBytes, rowOf(picture, y));
    else if (image.format() == QImage::Format_Indexed8)
      convertPaletteRow(image, palette, y, picture);
    else
      convertRow(image, y, picture);
  }
  return picture;
}

// Qt's own guard against huge pictures, raised to our bound so that ours decides.
void allowPicturesUpToOurBound() {
  const int megabytes = static_cast<int>(kMaxPicturePixels * 4 / (1 << 20) + 1);
  if (QImageReader::allocationLimit() < megabytes) QImageReader::setAllocationLimit(megabytes);
}

[[noreturn]] void readFailed(const QImageReader& reader, const char* format) {
  throw PictureError(
      failure(PictureFailure::Unreadable, format, reader.errorString().toStdString()));
}

// The pixel count, and what decoding it takes: the decoder's image in the format it reads
// (up to 8 bytes a pixel for 16 bits a channel) beside the 4 bytes a pixel of the result.
void checkAnnouncedSize(const QImageReader& reader) {
  const QSize size = reader.size();
  if (!size.isValid()) return;
  checkPictureSize(size.width(), size.height());
  const QImage::Format format = reader.imageFormat();
  const std::int64_t decoderBytes =
      format == QImage::Format_Invalid ? 8 : (QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8;
  const std::int64_t pixels = std::int64_t{size.width()} * size.height();
  if (pixels * (decoderBytes + 4) > kMaxDecodingBytes) {
    throw PictureError(failure(PictureFailure::TooLargeToDecode, size.width(), size.height(),
                               decoderBytes * 8, kMaxDecodingBytes >> 20));
  }
}

// Icon files hold several images; the 32 x 32 one of most colours fits best, else the largest.
QImage bestIconImage(QImageReader& reader) {
  QImage best;
  const int count = std::min(std::max(reader.imageCount(), 1), kMaxIconImages);
  for (int index = 0; index < count; ++index) {
    if (index > 0 && !reader.jumpToImage(index)) break;
    checkAnnouncedSize(reader);
    QImage image = reader.read();
    if (image.isNull()) {
      if (index == 0) readFailed(reader, "icon");
      continue;
    }
    const auto fits = [](const QImage& i) { return i.width() == 32 && i.height() == 32; };
    const auto area = [](const QImage& i) { return std::int64_t{i.width()} * i.height(); };
    const bool better = best.isNull() ||
                        (fits(image) && (!fits(best) || image.depth() > best.depth())) ||
                        (!fits(image) && !fits(best) && area(image) > area(best));
    if (better) best = std::move(image);
  }
  return best;
}

std::uint32_t littleEndian32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t k = 0; k < 4; ++k)
    value |= std::uint32_t{static_cast<unsigned char>(bytes[at + k])} << (8 * k);
  return value;
}

// Qt reads a BMP's pixels from wherever it stands when the headers end, whatever the file
// header says; a file whose pixel offset points elsewhere (beyond its end, into its headers)
// is damaged and refused rather than read in a way its writer did not mean.
void checkBmpFileHeader(const std::string& bytes) {
  constexpr std::size_t kFileHeader = 14;
  if (bytes.size() < kFileHeader + 4 || bytes.compare(0, 2, "BM") != 0) return;  // Qt says why
  const std::uint64_t pixelOffset = littleEndian32(bytes, 10);
  const std::uint64_t infoSize = littleEndian32(bytes, kFileHeader);
  if (pixelOffset < kFileHeader + infoSize || pixelOffset >= bytes.size()) {
    throw PictureError(failure(PictureFailure::BmpPixelsOutsideFile, pixelOffset));
  }
}

Picture readWithQt(const std::string& bytes, const char* format) {
  if (std::string_view(format) == "bmp") checkBmpFileHeader(bytes);
  allowPicturesUpToOurBound();
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setAutoDetectImageFormat(false);  // the extension chose the format
  if (!reader.canRead()) readFailed(reader, format);
  QImage image;
  if (std::string_view(format) == "ico") {
    image = bestIconImage(reader);
  } else {
    checkAnnouncedSize(reader);
    image = reader.read();  // the first image of an animated GIF
  }
  if (image.isNull()) readFailed(reader, format);
  return fromImage(std::move(image));
}

Picture drawSvg(const MetafileSvg& metafile) {
  QSvgRenderer renderer(QByteArray::fromStdString(metafile.svg));
  if (!renderer.isValid()) throw PictureError(failure(PictureFailure::MetafileNotDrawn));
  QImage image(metafile.width, metafile.height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) throw PictureError(failure(PictureFailure::OutOfMemoryDrawing));
  image.fill(Qt::transparent);  // what the metafile does not draw stays transparent
  QPainter painter(&image);
  renderer.render(&painter, QRectF(0, 0, metafile.width, metafile.height));
  painter.end();
  return fromImage(std::move(image));
}

}  // namespace

const std::vector<std::string>& pictureExtensions() {
  static const std::vector<std::string> extensions = {"bmp", "ico",  "wmf", "emf",
                                                      "jpg", "jpeg", "gif", "png"};
  return extensions;
}

Picture loadPicture(const std::filesystem::path& path) {
  const std::string extension = lowerExtension(path);
  const auto& known = pictureExtensions();
  if (std::find(known.begin(), known.end(), extension) == known.end()) {
    throw PictureError(failure(PictureFailure::UnknownExtension, extension));
  }
  const std::string bytes = readPictureFile(path);
  if (extension == "jpg" || extension == "jpeg") return decodeJpeg(bytes);
  if (extension == "wmf") return drawSvg(wmfToSvg(bytes));
  if (extension == "emf") return drawSvg(emfToSvg(bytes));
  return readWithQt(bytes, extension.c_str());
}

}  // namespace vantrel
