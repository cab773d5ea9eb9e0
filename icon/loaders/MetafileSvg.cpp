#include "icon/loaders/MetafileSvg.h"

#include <libwmf/api.h>
#include <libwmf/ipa.h>
#include <libwmf/svg.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "base/ConverterProcess.h"
#include "base/FailureKinds.h"
#include "base/SupportFiles.h"
#include "base/Win1252.h"
#include "icon/EmfConverterExit.h"

namespace vantrel {

namespace {

constexpr double kScreenDotsPerInch = 96.0;
constexpr double kHundredthsOfMillimetrePerInch = 2540.0;

std::uint32_t uint32At(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int k = 3; k >= 0; --k)
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(k)]);
  return value;
}

std::int32_t int32At(std::string_view bytes, std::size_t at) {
  return static_cast<std::int32_t>(uint32At(bytes, at));
}

std::uint16_t uint16At(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                    static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

// ---------------------------------------------------------------------------------------------
// WMF

struct WmfApiDeleter {
  void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};
using WmfApi = std::unique_ptr<wmfAPI, WmfApiDeleter>;

[[noreturn]] void wmfInvalid(const char* why) {
  throw PictureError(failure(PictureFailure::WmfNotValid, why));
}

WmfApi createWmfApi() {
  wmfAPI_Options options{};
  options.function = wmf_svg_function;
  // Errors come back as codes; nothing is printed, nothing is written to files.
  const unsigned long flags =
      WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  wmfAPI* raw = nullptr;
  const wmf_error_t error = wmf_api_create(&raw, flags, &options);
  WmfApi api(raw);
  if (error != wmf_E_None || !api)
    throw PictureError(failure(PictureFailure::MetafileSupportNotStarted));
  return api;
}

// libwmf's SVG device writes a text's bytes into the document as they are, but the document
// is XML in UTF-8: a metafile's umlauts (Windows-1252) or a "<" or "&" in its text would make
// the whole picture unreadable. Each text is therefore handed to the device as XML text.
struct TextHook {
  void (*deviceDrawText)(wmfAPI*, wmfDrawText_t*) = nullptr;
};

std::string xmlTextFrom1252(std::string_view bytes) {
  std::string xml;
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    if (byte == '&') {
      xml += "&amp;";
    } else if (byte == '<') {
      xml += "&lt;";
    } else if (byte == '>') {
      xml += "&gt;";
    } else if (code >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r') {
      xml += utf8From1252(std::string_view(&byte, 1));
    }  // other control characters draw nothing and are not allowed in XML
  }
  return xml;
}

void drawTextAsXml(wmfAPI* api, wmfDrawText_t* text) noexcept {
  const auto* hook = static_cast<const TextHook*>(api->user_data);
  std::string xml = xmlTextFrom1252(text->str != nullptr ? text->str : "");
  char* const original = text->str;
  text->str = xml.data();
  hook->deviceDrawText(api, text);
  text->str = original;
}

// libwmf trusts the sizes a metafile states: it allocates a buffer of the header's largest
// record, and a bitmap of the size its header states, before it reads them. A file of a few
// hundred bytes could so make it ask for gigabytes. These checks hold every such size to the
// bytes really there (or, for a compressed bitmap, to the pixel bound) before libwmf starts.

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableHeaderSize = 22;
constexpr std::size_t kWmfHeaderSize = 18;
constexpr std::size_t kMaxRecordAt = 12;       // in the header: the largest record, in 16-bit words
constexpr std::size_t kWmfRecordHeadSize = 6;  // size in 16-bit words (32 bits), function (16 bits)
constexpr std::uint16_t kMetaEof = 0x0000;

// Where the device-independent bitmap starts in the parameters of a record that carries one.
// The two blits have a form without a bitmap, told by its size: (function >> 8) + 3 words.
std::optional<std::size_t> bitmapOffsetOf(std::uint16_t function, std::uint64_t recordWords) {
  const bool withoutBitmap = recordWords == static_cast<std::uint64_t>(function >> 8) + 3;
  switch (function) {
    case 0x0F43:
      return 22;  // STRETCHDIB
    case 0x0B41:
      return withoutBitmap ? std::nullopt : std::optional<std::size_t>(20);  // DIBSTRETCHBLT
    case 0x0940:
      return withoutBitmap ? std::nullopt : std::optional<std::size_t>(16);  // DIBBITBLT
    case 0x0D33:
      return 18;  // SETDIBTODEV
    case 0x0142:
      return 4;  // DIBCREATEPATTERNBRUSH
    default:
      return std::nullopt;
  }
}

// A bitmap must have a depth bitmaps have, hold its colour table and, uncompressed, all its
// pixel rows; a compressed one may not have more pixels than a picture may.
void checkEmbeddedBitmap(std::string_view bitmap, std::int64_t maxPixels) {
  constexpr std::uint32_t kCoreHeaderSize = 12;
  constexpr std::uint32_t kInfoHeaderSize = 40;
  constexpr std::uint32_t kUncompressed = 0;
  constexpr std::uint32_t kColourMasks = 3;
  if (bitmap.size() < kCoreHeaderSize) wmfInvalid("an embedded bitmap is cut short");
  const std::uint32_t headerSize = uint32At(bitmap, 0);
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint64_t bitsPerPixel = 0;
  std::uint32_t compression = kUncompressed;
  std::uint64_t coloursUsed = 0;
  std::uint64_t bytesPerColour = 4;
  if (headerSize == kCoreHeaderSize) {
    width = uint16At(bitmap, 4);
    height = uint16At(bitmap, 6);
    bitsPerPixel = uint16At(bitmap, 10);
    bytesPerColour = 3;
  } else {
    if (headerSize < kInfoHeaderSize || headerSize > bitmap.size())
      wmfInvalid("an embedded bitmap is cut short");
    width = int32At(bitmap, 4);
    height = std::abs(static_cast<std::int64_t>(int32At(bitmap, 8)));  // negative: top-down
    bitsPerPixel = uint16At(bitmap, 14);
    compression = uint32At(bitmap, 16);
    coloursUsed = uint32At(bitmap, 32);
  }
  checkPictureSize(width, height, maxPixels);
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 16 &&
      bitsPerPixel != 24 && bitsPerPixel != 32) {
    wmfInvalid("an embedded bitmap has an unknown depth");
  }
  if (bitsPerPixel <= 8 && coloursUsed > (std::uint64_t{1} << bitsPerPixel))
    wmfInvalid("an embedded bitmap has too many colours");
  const std::uint64_t colours = coloursUsed != 0    ? coloursUsed
                                : bitsPerPixel <= 8 ? std::uint64_t{1} << bitsPerPixel
                                                    : 0;
  const std::uint64_t masks = compression == kColourMasks && headerSize == kInfoHeaderSize ? 12 : 0;
  std::uint64_t needed = headerSize + masks + colours * bytesPerColour;
  if (compression == kUncompressed || compression == kColourMasks) {
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
    needed += rowBytes * static_cast<std::uint64_t>(height);
  }
  if (needed > bitmap.size()) wmfInvalid("an embedded bitmap runs past its record");
}

// Returns how many bytes libwmf may see: up to the end-of-file record (libwmf would read on
// behind one), or the whole records there are.
std::size_t checkWmfSizes(std::string_view bytes, std::int64_t maxPixels) {
  const std::size_t header =
      bytes.size() >= 4 && uint32At(bytes, 0) == kPlaceableKey ? kPlaceableHeaderSize : 0;
  if (bytes.size() < header + kWmfHeaderSize) wmfInvalid("the file is too short");
  const std::uint64_t largestRecordWords = uint32At(bytes, header + kMaxRecordAt);
  std::size_t at = header + kWmfHeaderSize;
  if (largestRecordWords * 2 > bytes.size() - at)
    wmfInvalid("its largest record is larger than the file");
  while (bytes.size() - at >= kWmfRecordHeadSize) {
    const std::uint64_t recordWords = uint32At(bytes, at);
    const std::uint16_t function = uint16At(bytes, at + 4);
    if (recordWords * 2 < kWmfRecordHeadSize || recordWords * 2 > bytes.size() - at)
      wmfInvalid("a record runs past the end of the file");
    if (recordWords > largestRecordWords)
      wmfInvalid("a record is larger than its header says records are");
    if (const auto offset = bitmapOffsetOf(function, recordWords)) {
      const std::string_view parameters =
          bytes.substr(at + kWmfRecordHeadSize, recordWords * 2 - kWmfRecordHeadSize);
      if (*offset > parameters.size()) wmfInvalid("a record is cut short");
      checkEmbeddedBitmap(parameters.substr(*offset), maxPixels);
    }
    at += recordWords * 2;
    if (function == kMetaEof) break;
  }
  return at;
}

}  // namespace

MetafileSvg wmfToSvg(std::string_view bytes, std::int64_t maxPixels) {
  const std::size_t checkedSize = checkWmfSizes(bytes, maxPixels);
  // libwmf wants a writable buffer; it reads only.
  std::vector<unsigned char> data(bytes.begin(),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(checkedSize));
  WmfApi api = createWmfApi();
  if (wmf_mem_open(api.get(), data.data(), static_cast<long>(data.size())) != wmf_E_None)
    wmfInvalid("it cannot be opened");
  wmfD_Rect bounds{};
  if (wmf_scan(api.get(), 0, &bounds) != wmf_E_None) wmfInvalid("its records cannot be read");
  unsigned int width = 0;
  unsigned int height = 0;
  if (wmf_display_size(api.get(), &width, &height, kScreenDotsPerInch, kScreenDotsPerInch) !=
      wmf_E_None) {
    wmfInvalid("it has no size");
  }
  checkPictureSize(width, height, maxPixels);

  wmf_svg_t* device = WMF_SVG_GetData(api.get());
  device->out = wmf_stream_create(api.get(), nullptr);  // into memory
  if (device->out == nullptr) throw PictureError(failure(PictureFailure::OutOfMemoryReading));
  device->Description = const_cast<char*>("Vantrel Formulare");
  device->bbox = bounds;
  device->width = width;
  device->height = height;
  device->flags |= WMF_SVG_INLINE_IMAGES;  // embedded bitmaps stay inside the SVG text
  auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
  TextHook hook{functions->draw_text};
  api->user_data = &hook;
  functions->draw_text = drawTextAsXml;
  const wmf_error_t played = wmf_play(api.get(), 0, &bounds);
  char* text = nullptr;
  unsigned long length = 0;
  wmf_stream_destroy(api.get(), device->out, &text, &length);
  MetafileSvg result;
  if (text != nullptr) {
    result.svg.assign(text, length);
    wmf_free(api.get(), text);
  }
  if (played != wmf_E_None || result.svg.empty()) wmfInvalid("its records cannot be drawn");
  result.width = static_cast<int>(width);
  result.height = static_cast<int>(height);
  return result;
}

// ---------------------------------------------------------------------------------------------
// EMF

namespace {

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::size_t kEmfHeaderSize = 88;

[[noreturn]] void emfInvalid(const char* why) {
  throw PictureError(failure(PictureFailure::EmfNotValid, why));
}

// The picture frame of the header, in hundredths of a millimetre, shown at screen resolution.
int framePixels(std::int32_t from, std::int32_t to) {
  const double extent = (static_cast<double>(to) - static_cast<double>(from)) * kScreenDotsPerInch /
                        kHundredthsOfMillimetrePerInch;
  if (!(extent >= 1.0) || extent > 1e9) return 0;  // refused by checkPictureSize
  return static_cast<int>(extent + 0.5);
}

// The records are checked and drawn by the program vantrel-emf2svg (icon/emfconverter): only it
// links libemf2svg and libUEMF, and a crash or a hang there is a picture that cannot be loaded,
// never the end of the tool.
[[noreturn]] void converterNotStarted(const EmfConverter& converter, int error) {
  throw PictureError(
      failure(PictureFailure::EmfConverterNotStarted, converter.program, std::strerror(error)));
}

std::string drawEmf(std::string_view data, int width, int height, const EmfConverter& converter) {
  const ConverterRun run =
      runConverter(converter.program, {std::to_string(width), std::to_string(height)}, data,
                   {converter.timeLimit, converter.maxSvgBytes});
  if (run.end == ConverterEnd::NotStarted) converterNotStarted(converter, run.startError);
  if (run.end != ConverterEnd::Exited) emfInvalid("its records cannot be drawn");
  if (const auto reason = emfRefusalReason(run.exitStatus))
    emfInvalid(std::string(*reason).c_str());
  if (run.exitStatus != static_cast<int>(EmfConverterExit::Drawn) || run.output.empty())
    emfInvalid("its records cannot be drawn");
  return run.output;
}

std::mutex converterLock;
std::optional<EmfConverter> chosenConverter;

}  // namespace

EmfConverter emfConverter() {
  const std::scoped_lock lock(converterLock);
  if (chosenConverter) return *chosenConverter;
  return {supportFilePath(runningProgramFolder(), kEmfConverterName)};
}

void setEmfConverter(EmfConverter converter) {
  const std::scoped_lock lock(converterLock);
  chosenConverter = std::move(converter);
}

MetafileSvg emfToSvg(std::string_view bytes, std::int64_t maxPixels) {
  return emfToSvg(bytes, maxPixels, emfConverter());
}

EmfToDraw checkEmfHeader(std::string_view bytes, std::int64_t maxPixels) {
  if (bytes.size() < kEmfHeaderSize) emfInvalid("the file is too short");
  if (uint32At(bytes, 0) != kEmrHeader || uint32At(bytes, 40) != kEmfSignature)
    emfInvalid("it has no EMF header");
  const std::uint32_t headerSize = uint32At(bytes, 4);
  if (headerSize < kEmfHeaderSize || headerSize > bytes.size() || headerSize % 4 != 0)
    emfInvalid("its header size is wrong");
  const std::uint32_t declaredBytes = uint32At(bytes, 48);
  if (declaredBytes > bytes.size()) emfInvalid("the file is shorter than its header says");
  const int width = framePixels(int32At(bytes, 24), int32At(bytes, 32));
  const int height = framePixels(int32At(bytes, 28), int32At(bytes, 36));
  checkPictureSize(width, height, maxPixels);

  return {bytes.substr(0, declaredBytes ? declaredBytes : bytes.size()), width, height};
}

MetafileSvg emfToSvg(std::string_view bytes, std::int64_t maxPixels,
                     const EmfConverter& converter) {
  const EmfToDraw toDraw = checkEmfHeader(bytes, maxPixels);
  return {drawEmf(toDraw.records, toDraw.width, toDraw.height, converter), toDraw.width,
          toDraw.height};
}

}  // namespace vantrel
