#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "icon/EmfConverterExit.h"
#include "icon/RenderIcon.h"
#include "icon/loaders/JpegPicture.h"
#include "icon/loaders/MetafileSvg.h"
#include "icon/loaders/PictureLoader.h"
#include "tests/icon/IconTestSupport.h"
#include "tests/icon/PictureFiles.h"

namespace vantrel {
namespace {

using test::Bytes;
using test::FilledRect;

// GIF and ICO loading and metafile drawing need the GUI application object.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = new QGuiApplication(argc_, argv_);
    // The tests run from their own folder, not beside the programs and their support files.
    setEmfConverter({std::filesystem::path(VANTREL_BIN_DIR) / kEmfConverterName});
  }
  void TearDown() override { delete app_; }

 private:
  int argc_ = 1;
  char name_[16] = "picture_tests";
  char* argv_[2] = {name_, nullptr};
  QGuiApplication* app_ = nullptr;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr int kRed = 9;
constexpr int kBlue = 12;
constexpr int kGreen = 10;
constexpr int kWhite = 15;
constexpr int kYellow = 11;

QImage paletteImage(int width, int height, const test::IndexAt& index) {
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb c = IconPalette.at(static_cast<std::size_t>(index(x, y)));
      image.setPixel(x, y, qRgb(c.red, c.green, c.blue));
    }
  }
  return image;
}

std::string encoded(const QImage& image, const char* format, int quality = -1) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
  return bytes.toStdString();
}

Rgb colourAt(const Picture& picture, int x, int y) {
  const std::size_t at = picture.offsetOf(x, y);
  return {picture.rgba[at], picture.rgba[at + 1], picture.rgba[at + 2]};
}
int alphaAt(const Picture& picture, int x, int y) {
  return picture.rgba[picture.offsetOf(x, y) + 3];
}

class PictureLoading : public ::testing::Test {
 protected:
  std::string save(const std::string& name, const std::string& bytes) {
    const std::string path = folder_.file(name);
    test::writeFile(path, bytes);
    return path;
  }
  Picture load(const std::string& name, const std::string& bytes) {
    return loadPicture(save(name, bytes));
  }

  test::TempFolder folder_;
};

// Left half red, right half blue, top-right quarter `corner`.
int halves(int x, int y, int width, int height, int corner) {
  if (x >= width / 2 && y < height / 2) return corner;
  return x < width / 2 ? kRed : kBlue;
}

TEST_F(PictureLoading, PngAndBmpGoThroughQt) {
  const QImage image =
      paletteImage(64, 32, [](int x, int y) { return halves(x, y, 64, 32, kYellow); });
  for (const char* format : {"png", "bmp"}) {
    const Picture picture = load(std::string("p.") + format, encoded(image, format));
    ASSERT_EQ(picture.width, 64) << format;
    ASSERT_EQ(picture.height, 32);
    EXPECT_EQ(colourAt(picture, 0, 0), IconPalette[kRed]);
    EXPECT_EQ(colourAt(picture, 63, 0), IconPalette[kYellow]);
    EXPECT_EQ(colourAt(picture, 63, 31), IconPalette[kBlue]);
    // 64 x 32 keeps the middle columns 16..47.
    const IconBitmap icon = renderIconBitmap(picture);
    EXPECT_EQ(icon.pixel(0, 0), kRed);
    EXPECT_EQ(icon.pixel(15, 31), kRed);
    EXPECT_EQ(icon.pixel(16, 0), kYellow);
    EXPECT_EQ(icon.pixel(31, 31), kBlue);
  }
  // The extension decides, in any case.
  EXPECT_EQ(load("UPPER.PNG", encoded(image, "png")).width, 64);
}

TEST_F(PictureLoading, TransparentPngPartsBecomeWhite) {
  QImage image(8, 8, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int x = 0; x < 8; ++x) image.setPixel(x, 7, qRgba(0, 0, 255, 255));
  const Picture picture = load("t.png", encoded(image, "png"));
  EXPECT_EQ(alphaAt(picture, 0, 0), 0);
  const IconBitmap icon = renderIconBitmap(picture);
  EXPECT_EQ(icon.pixel(0, 0), kWhite);
  EXPECT_EQ(icon.pixel(31, 31), kBlue);
}

TEST_F(PictureLoading, IconMaskMakesPartsTransparent) {
  const test::IconImage image{16, [](int x, int) { return x < 8 ? kRed : kBlue; },
                              [](int x, int y) { return x < 4 && y < 4; }};
  const Picture picture = load("i.ico", test::icoFile({image}));
  ASSERT_EQ(picture.width, 16);
  EXPECT_EQ(alphaAt(picture, 0, 0), 0);
  EXPECT_EQ(alphaAt(picture, 4, 4), 255);
  EXPECT_EQ(colourAt(picture, 4, 4), IconPalette[kRed]);
  EXPECT_EQ(colourAt(picture, 15, 15), IconPalette[kBlue]);
  const IconBitmap icon = renderIconBitmap(picture);  // doubled: 8 x 8 white corner
  EXPECT_EQ(icon.pixel(7, 7), kWhite);
  EXPECT_EQ(icon.pixel(8, 8), kRed);
  EXPECT_EQ(icon.pixel(31, 0), kBlue);
}

TEST_F(PictureLoading, IconFileGivesItsThirtyTwoSquareImage) {
  const auto none = [](int, int) { return false; };
  const Picture picture =
      load("multi.ico", test::icoFile({{16, [](int, int) { return kRed; }, none},
                                       {32, [](int, int) { return kGreen; }, none},
                                       {48, [](int, int) { return kBlue; }, none}}));
  EXPECT_EQ(picture.width, 32);
  EXPECT_EQ(colourAt(picture, 5, 5), IconPalette[kGreen]);
  const Picture largest =
      load("two.ico", test::icoFile({{16, [](int, int) { return kRed; }, none},
                                     {48, [](int, int) { return kBlue; }, none}}));
  EXPECT_EQ(largest.width, 48);
}

TEST_F(PictureLoading, GifWithTransparentColour) {
  const auto index = [](int x, int y) { return y < 2 ? kGreen : (x < 3 ? kRed : kYellow); };
  const Picture picture = load("g.gif", test::gifFile(6, 4, index, kGreen));
  ASSERT_EQ(picture.width, 6);
  ASSERT_EQ(picture.height, 4);
  EXPECT_EQ(alphaAt(picture, 0, 0), 0);
  EXPECT_EQ(alphaAt(picture, 5, 1), 0);
  EXPECT_EQ(colourAt(picture, 0, 3), IconPalette[kRed]);
  EXPECT_EQ(colourAt(picture, 5, 2), IconPalette[kYellow]);
  // 6 x 4: h = 32, w = 48, x = -8; the top half is white.
  const IconBitmap icon = renderIconBitmap(picture);
  EXPECT_EQ(icon.pixel(0, 0), kWhite);
  EXPECT_EQ(icon.pixel(0, 31), kRed);
  EXPECT_EQ(icon.pixel(31, 31), kYellow);

  const Picture opaque = load("o.gif", test::gifFile(6, 4, index, -1));
  EXPECT_EQ(colourAt(opaque, 0, 0), IconPalette[kGreen]);
  EXPECT_EQ(alphaAt(opaque, 0, 0), 255);
}

TEST_F(PictureLoading, JpegThroughLibjpeg) {
  const QImage image =
      paletteImage(64, 64, [](int x, int y) { return halves(x, y, 64, 64, kYellow); });
  for (const char* extension : {"jpg", "jpeg", "JPG"}) {
    const Picture picture = load(std::string("j.") + extension, encoded(image, "jpg", 100));
    ASSERT_EQ(picture.width, 64);
    const IconBitmap icon = renderIconBitmap(picture);
    EXPECT_EQ(icon.pixel(2, 2), kRed) << extension;
    EXPECT_EQ(icon.pixel(29, 2), kYellow);
    EXPECT_EQ(icon.pixel(29, 29), kBlue);
    EXPECT_EQ(alphaAt(picture, 10, 10), 255);
  }
  // A grey JPEG comes out as grey RGB.
  QImage grey(16, 16, QImage::Format_Grayscale8);
  grey.fill(128);
  const Picture greyPicture = decodeJpeg(encoded(grey, "jpg", 100));
  EXPECT_EQ(renderIconBitmap(greyPicture).pixel(5, 5), 7);
}

TEST_F(PictureLoading, DamagedOrOversizedJpegIsRefused) {
  const std::string good =
      encoded(paletteImage(32, 32, [](int x, int) { return x % 16; }), "jpg", 90);
  EXPECT_THROW(decodeJpeg(good.substr(0, good.size() / 2)), PictureError);  // ends early
  EXPECT_THROW(decodeJpeg(good.substr(0, 20)), PictureError);
  EXPECT_THROW(decodeJpeg("not a jpeg"), PictureError);
  // The size in the frame header claims 60000 x 60000: refused before any pixel is decoded.
  std::string huge = good;
  const auto frame = huge.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  for (const std::size_t at : {frame + 5, frame + 7}) {
    huge[at] = static_cast<char>(0xEA);
    huge[at + 1] = static_cast<char>(0x60);
  }
  try {
    decodeJpeg(huge);
    FAIL() << "a 60000 x 60000 JPEG was accepted";
  } catch (const PictureError& error) {
    EXPECT_NE(std::string(error.what()).find("too large"), std::string::npos) << error.what();
  }
}

TEST_F(PictureLoading, WindowsMetafileIsDrawnWithUndrawnPartsWhite) {
  const std::string wmf = test::wmfFile(
      64, 32, {{0, 0, 32, 32, IconPalette[kRed]}, {32, 16, 64, 32, IconPalette[kBlue]}});
  const MetafileSvg svg = wmfToSvg(wmf);
  EXPECT_EQ(svg.width, 64);
  EXPECT_EQ(svg.height, 32);
  const Picture picture = load("m.wmf", wmf);
  ASSERT_EQ(picture.width, 64);
  ASSERT_EQ(picture.height, 32);
  EXPECT_EQ(colourAt(picture, 10, 10), IconPalette[kRed]);
  EXPECT_EQ(colourAt(picture, 50, 25), IconPalette[kBlue]);
  EXPECT_EQ(alphaAt(picture, 50, 5), 0);
  const IconBitmap icon = renderIconBitmap(picture);  // middle columns 16..47
  EXPECT_EQ(icon.pixel(2, 2), kRed);
  EXPECT_EQ(icon.pixel(29, 2), kWhite);
  EXPECT_EQ(icon.pixel(29, 29), kBlue);
}

TEST_F(PictureLoading, EnhancedMetafileIsDrawnWithUndrawnPartsWhite) {
  const std::string emf = test::emfFile(
      64, 32, {{0, 0, 32, 32, IconPalette[kRed]}, {32, 16, 64, 32, IconPalette[kBlue]}});
  const MetafileSvg svg = emfToSvg(emf);
  EXPECT_EQ(svg.width, 64);
  EXPECT_EQ(svg.height, 32);
  const Picture picture = load("m.emf", emf);
  ASSERT_EQ(picture.width, 64);
  ASSERT_EQ(picture.height, 32);
  EXPECT_EQ(colourAt(picture, 10, 10), IconPalette[kRed]);
  EXPECT_EQ(colourAt(picture, 50, 25), IconPalette[kBlue]);
  EXPECT_EQ(alphaAt(picture, 50, 5), 0);
  const IconBitmap icon = renderIconBitmap(picture);
  EXPECT_EQ(icon.pixel(2, 2), kRed);
  EXPECT_EQ(icon.pixel(29, 2), kWhite);
  EXPECT_EQ(icon.pixel(29, 29), kBlue);
}

TEST_F(PictureLoading, DamagedMetafilesAreRefused) {
  const std::string wmf = test::wmfFile(64, 32, {{0, 0, 32, 32, IconPalette[kRed]}});
  const std::string emf = test::emfFile(64, 32, {{0, 0, 32, 32, IconPalette[kRed]}});
  EXPECT_THROW(load("short.wmf", wmf.substr(0, 10)), PictureError);
  EXPECT_THROW(load("text.wmf", std::string(200, 'w')), PictureError);
  EXPECT_THROW(load("short.emf", emf.substr(0, 60)), PictureError);
  EXPECT_THROW(load("cut.emf", emf.substr(0, emf.size() - 8)),
               PictureError);  // shorter than it says
  std::string noFrame = emf;
  for (std::size_t at = 24; at < 40; ++at) noFrame[at] = 0;
  EXPECT_THROW(load("empty.emf", noFrame), PictureError);
}

// Inputs on which libemf2svg itself reads past its buffer (found by fuzzing; AddressSanitizer
// stops the process there, a plain build may read stray bytes or crash): the tool refuses them
// as damaged and lives on.
TEST_F(PictureLoading, MetafilesThatCrashTheirConverterAreRefused) {
  for (const char* name : {"emfplus-record-crash.emf", "record-overread-crash.emf"}) {
    SCOPED_TRACE(name);
    std::ifstream file(std::filesystem::path(VANTREL_FUZZ_SEEDS_DIR) / "emf" / name,
                       std::ios::binary);
    ASSERT_TRUE(file) << "seed missing";
    const std::string emf{std::istreambuf_iterator<char>(file), {}};
    EXPECT_THROW(load(name, emf), PictureError);
  }
  // The process that drew them is gone; a sound picture is still drawn.
  const std::string emf = test::emfFile(64, 32, {{0, 0, 64, 32, IconPalette[kRed]}});
  EXPECT_EQ(colourAt(load("after.emf", emf), 10, 10), IconPalette[kRed]);
}

// The converter of enhanced metafiles is another program: one that is missing, crashes, hangs,
// writes without end or refuses the records leaves the picture unloaded with a reason, soon.
TEST_F(PictureLoading, ConverterThatFailsLeavesThePictureUnloaded) {
  using namespace std::chrono_literals;
  struct Case {
    const char* name;
    const char* script;  // nullptr: no converter there at all
    const char* reason;
  };
  const Case cases[] = {
      {"missing", nullptr, "The program that draws enhanced metafiles could not be started ("},
      {"crashing", "kill -SEGV $$", "its records cannot be drawn"},
      {"hanging", "exec sleep 30", "its records cannot be drawn"},
      {"hanging-after-output", "echo '<svg/>'; exec 1>&-; exec sleep 30",
       "its records cannot be drawn"},
      {"flooding", "exec cat /dev/zero", "its records cannot be drawn"},
      {"silent", "exit 0", "its records cannot be drawn"},
      {"refusing", "cat >/dev/null; exit 12", "a record runs past the end of the file"},
  };
  const std::string emf = test::emfFile(64, 32, {{0, 0, 64, 32, IconPalette[kRed]}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path program = folder_.file(c.name);
    if (c.script != nullptr) {
      test::writeFile(program.string(), std::string("#!/bin/sh\n") + c.script + "\n");
      std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    }
    const auto started = std::chrono::steady_clock::now();
    try {
      (void)emfToSvg(emf, kMaxPicturePixels, {program, 500ms, 4096});
      ADD_FAILURE() << "drawn";
    } catch (const PictureError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  }
  // The loader goes the same way: the picture is not loaded, the message names the program.
  const EmfConverter working = emfConverter();
  setEmfConverter({folder_.path() / "missing"});
  try {
    (void)load("m.emf", emf);
    ADD_FAILURE() << "loaded without its converter";
  } catch (const PictureError& error) {
    EXPECT_NE(std::string(error.what()).find((folder_.path() / "missing").string()),
              std::string::npos)
        << error.what();
  }
  setEmfConverter(working);
  EXPECT_EQ(colourAt(load("after.emf", emf), 10, 10), IconPalette[kRed]);
}

// A PNG chunk with its CRC, so that a reader believes it.
void pngChunk(Bytes& file, const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
  const auto size = static_cast<std::uint32_t>(data.size());
  file.u8(size >> 24).u8(size >> 16).u8(size >> 8).u8(size).raw(body);
  file.u8(crc >> 24).u8(crc >> 16).u8(crc >> 8).u8(crc);
}

// A PNG whose header announces the size; its pixel data is a few stray bytes.
std::string pngAnnouncing(std::uint32_t width, std::uint32_t height) {
  Bytes header;
  for (const std::uint32_t value : {width, height})
    header.u8(value >> 24).u8(value >> 16).u8(value >> 8).u8(value);
  header.u8(8).u8(6).u8(0).u8(0).u8(0);
  Bytes file;
  file.raw("\x89PNG\r\n\x1A\n");
  pngChunk(file, "IHDR", header.str());
  pngChunk(file, "IDAT", "\x78\x9C\x01\x02");
  pngChunk(file, "IEND", "");
  return file.str();
}

TEST_F(PictureLoading, UnreadableFilesRaiseTheLoadersError) {
  const auto message = [&](const std::string& name, const std::string& bytes) -> std::string {
    try {
      load(name, bytes);
    } catch (const PictureError& error) {
      return error.what();
    }
    return "loaded";
  };
  EXPECT_EQ(message("x.tif", "II*"), "Unknown picture file extension (.tif).");
  EXPECT_EQ(message("noextension", "BM"), "Unknown picture file extension (.).");
  EXPECT_NE(message("bad.png", "garbage garbage"), "loaded");
  EXPECT_NE(message("bad.gif", "GIF89a"), "loaded");
  EXPECT_NE(message("bad.bmp", "BM12"), "loaded");
  EXPECT_NE(message("bad.ico", std::string(30, '\0')), "loaded");
  EXPECT_NE(message("huge.png", pngAnnouncing(20000, 20000)).find("too large"), std::string::npos);
  EXPECT_THROW(loadPicture(folder_.file("missing.png")), PictureError);
  // A picture of zero width.
  EXPECT_NE(message("zero.gif", test::gifFile(
                                    0, 4, [](int, int) { return 0; }, -1)),
            "loaded");
}

// A real palette PNG of one colour, its rows deflated as they are made: a few hundred
// kilobytes that decode to width x height pixels.
std::string palettePng(std::uint32_t width, std::uint32_t height) {
  Bytes header;
  for (const std::uint32_t value : {width, height})
    header.u8(value >> 24).u8(value >> 16).u8(value >> 8).u8(value);
  header.u8(8).u8(3).u8(0).u8(0).u8(0);
  z_stream stream{};
  deflateInit(&stream, 9);
  const std::string row(width + 1, '\0');  // filter byte, then palette index 0 throughout
  std::string deflated;
  std::vector<unsigned char> out(1 << 16);
  for (std::uint32_t y = 0; y <= height; ++y) {
    const bool last = y == height;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
    stream.avail_in = last ? 0 : static_cast<uInt>(row.size());
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      deflated.append(reinterpret_cast<const char*>(out.data()), out.size() - stream.avail_out);
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  Bytes file;
  file.raw("\x89PNG\r\n\x1A\n");
  pngChunk(file, "IHDR", header.str());
  pngChunk(file, "PLTE", std::string("\x20\x40\x80", 3));
  pngChunk(file, "IDAT", deflated);
  pngChunk(file, "IEND", "");
  return file.str();
}

std::int64_t statusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atoll(line.c_str() + std::strlen(field));
  return -1;
}

struct ChildLoad {
  int outcome = -1;             // 0 loaded, 1 refused as too large, 2 refused otherwise
  std::int64_t growthKib = -1;  // peak resident memory over what the child started with
};

// Loads the picture in a child process, so that its peak memory is its own to measure.
ChildLoad loadInChild(const std::string& path) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    const std::int64_t before = statusKib("VmRSS:");
    int outcome = 0;
    try {
      static_cast<void>(loadPicture(path));
    } catch (const PictureError& error) {
      outcome = std::string(error.what()).find("too large") != std::string::npos ? 1 : 2;
    }
    const std::string report =
        std::to_string(outcome) + " " + std::to_string(statusKib("VmHWM:") - before);
    static_cast<void>(::write(channel[1], report.data(), report.size()));  // read by the parent
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string report;
  char chunk[64];
  for (ssize_t got; (got = ::read(channel[0], chunk, sizeof chunk)) > 0;)
    report.append(chunk, static_cast<std::size_t>(got));
  ::close(channel[0]);
  ::waitpid(child, nullptr, 0);
  ChildLoad result;
  std::istringstream(report) >> result.outcome >> result.growthKib;
  return result;
}

TEST_F(PictureLoading, NoPictureTakesMoreThan256MegabytesWhileDecoding) {
  const struct {
    const char* name;
    std::uint32_t width, height;
    int outcome;
  } cases[] = {
      {"100 megapixels", 10'000, 10'000, 1},
      {"the most that is loaded", 5'000, 5'000, 0},
  };
  for (const auto& picture : cases) {
    const std::string path = save("big.png", palettePng(picture.width, picture.height));
    ASSERT_LT(std::filesystem::file_size(path), 1'000'000U) << picture.name;
    const ChildLoad load = loadInChild(path);
    EXPECT_EQ(load.outcome, picture.outcome) << picture.name;
    EXPECT_GE(load.growthKib, 0) << picture.name;
    EXPECT_LE(load.growthKib, 256 * 1024) << picture.name;
  }
}

TEST_F(PictureLoading, ABmpWhosePixelsLieOutsideTheFileIsRefused) {
  const std::string good =
      encoded(paletteImage(8, 8, [](int x, int y) { return halves(x, y, 8, 8, kYellow); }), "bmp");
  ASSERT_NO_THROW(load("good.bmp", good));
  for (const std::uint32_t offset : {0xFFFFFFFFu, static_cast<std::uint32_t>(good.size()), 20u}) {
    std::string damaged = good;
    for (int k = 0; k < 4; ++k) damaged[10 + k] = static_cast<char>(offset >> (8 * k));
    try {
      load("damaged.bmp", damaged);
      ADD_FAILURE() << "offset " << offset << " was loaded";
    } catch (const PictureError& error) {
      EXPECT_NE(std::string(error.what()).find("pixel data offset"), std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
}  // namespace vantrel
