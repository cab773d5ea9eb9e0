#include "icon/loaders/MetafileSvg.h"

#include <emf2svg.h>
#include <fcntl.h>
#include <libwmf/api.h>
#include <libwmf/ipa.h>
#include <libwmf/svg.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <uemf.h>
#include <uemf_safe.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "base/Win1252.h"

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
  throw PictureError(std::string("Metafile is not valid: ") + why + ".");
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
  if (error != wmf_E_None || !api) throw PictureError("Metafile support could not be started.");
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
  if (device->out == nullptr) throw PictureError("Out of memory while reading the metafile.");
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
  throw PictureError(std::string("Enhanced metafile is not valid: ") + why + ".");
}

// The picture frame of the header, in hundredths of a millimetre, shown at screen resolution.
int framePixels(std::int32_t from, std::int32_t to) {
  const double extent = (static_cast<double>(to) - static_cast<double>(from)) * kScreenDotsPerInch /
                        kHundredthsOfMillimetrePerInch;
  if (!(extent >= 1.0) || extent > 1e9) return 0;  // refused by checkPictureSize
  return static_cast<int>(extent + 0.5);
}

// libemf2svg trusts the sizes, counts and offsets inside the records it draws. Each record is
// therefore held to the file first: its size to the bytes there, its contents by libUEMF's own
// record checks (the library libemf2svg reads records with).
constexpr std::size_t kEmfRecordHeadSize = 8;  // type and size, 32 bits each
constexpr std::uint32_t kEmrEof = 14;

// The header's description, which libemf2svg reads up to its terminating zero when the header
// gives no length: it must lie inside the header record and end there.
void checkDescription(std::string_view header) {
  constexpr std::size_t kDescriptionLengthAt = 60;  // in UTF-16 characters
  constexpr std::size_t kDescriptionOffsetAt = 64;
  const std::uint64_t characters = uint32At(header, kDescriptionLengthAt);
  const std::uint64_t offset = uint32At(header, kDescriptionOffsetAt);
  if (offset == 0) return;
  if (offset > header.size() || characters * 2 > header.size() - offset)
    emfInvalid("its description lies outside its header");
  for (std::uint64_t at = offset; at + 1 < header.size(); at += 2) {
    if (header[at] == 0 && header[at + 1] == 0) return;
  }
  emfInvalid("its description does not end inside its header");
}

// Kinds of record that libUEMF has no check for (unused numbers, escapes, colour profiles and
// the like); libemf2svg draws none of them, so only their size is held to the file.
bool uncheckableRecord(std::uint32_t type) {
  constexpr std::uint32_t kUncheckable[] = {69,  96,  97,  102, 103, 105, 106, 107, 109,
                                            110, 111, 112, 113, 117, 119, 120, 121};
  return std::find(std::begin(kUncheckable), std::end(kUncheckable), type) !=
         std::end(kUncheckable);
}

// Returns how many bytes libemf2svg may see: up to the end-of-file record, or the whole records
// there are.
std::size_t checkEmfRecords(std::string_view records) {
  std::size_t at = 0;
  while (at < records.size()) {
    if (records.size() - at < kEmfRecordHeadSize) emfInvalid("a record is cut short");
    const std::uint32_t type = uint32At(records, at);
    const std::uint32_t size = uint32At(records, at + 4);
    if (type < kEmrHeader || type > U_EMR_MAX) emfInvalid("a record has an unknown type");
    if (size < kEmfRecordHeadSize || size % 4 != 0 || size > records.size() - at)
      emfInvalid("a record runs past the end of the file");
    if (at == 0) checkDescription(records.substr(0, size));
    if (!uncheckableRecord(type) && !U_emf_record_safe(records.data() + at))
      emfInvalid("a record does not hold what its size says");
    at += size;
    if (type == kEmrEof) break;
  }
  return at;
}

// libemf2svg still reads past damaged records inside emf2svg() itself, beyond anything the
// record checks above can see. The conversion therefore runs in a child process: a crash or a
// hang there is a picture that cannot be loaded, never the end of the tool.
constexpr std::size_t kMaxEmfSvgBytes = std::size_t{64} << 20;
constexpr auto kEmfDrawTimeLimit = std::chrono::seconds(20);

[[noreturn]] void drawEmfAndExit(std::vector<char>& data, int width, int height, int output) {
  // The crash must end only this process: no handler of the parent (a sanitizer's, a fuzzer's)
  // may report it as the parent's own.
  for (const int deadly : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) ::signal(deadly, SIG_DFL);
  // Whatever the library or a sanitizer says on its way down is not the user's business: the
  // caller reports the picture as one that cannot be drawn.
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
  generatorOptions options{};
  options.nameSpace = const_cast<char*>("");
  options.verbose = false;
  // EMF+ records are left to the EMF records every such file carries as well: the library's
  // EMF+ reader follows counts in the records beyond their end.
  options.emfplus = false;
  options.svgDelimiter = true;
  options.imgWidth = width;
  options.imgHeight = height;
  char* text = nullptr;
  std::size_t length = 0;
  const int converted = emf2svg(data.data(), data.size(), &text, &length, &options);
  if (!converted || text == nullptr || length == 0 || length > kMaxEmfSvgBytes) _exit(1);
  for (std::size_t at = 0; at < length;) {
    const ssize_t written = ::write(output, text + at, length - at);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) _exit(1);
    at += static_cast<std::size_t>(written);
  }
  _exit(0);
}

// Reads the child's SVG until it closes the pipe; nullopt when it sends too much or takes too
// long.
std::optional<std::string> readChildOutput(int input) {
  const auto deadline = std::chrono::steady_clock::now() + kEmfDrawTimeLimit;
  std::string text;
  char buffer[65536];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd ready{input, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return std::nullopt;
    const ssize_t got = ::read(input, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return text;
    if (text.size() + static_cast<std::size_t>(got) > kMaxEmfSvgBytes) return std::nullopt;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

bool childSucceeded(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<std::string> drawEmfInChildProcess(std::vector<char>& data, int width, int height) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    return std::nullopt;
  }
  if (child == 0) {
    ::close(pipeEnds[0]);
    drawEmfAndExit(data, width, height, pipeEnds[1]);
  }
  ::close(pipeEnds[1]);
  std::optional<std::string> svg = readChildOutput(pipeEnds[0]);
  ::close(pipeEnds[0]);
  if (!svg) ::kill(child, SIGKILL);
  const bool succeeded = childSucceeded(child);
  if (!succeeded) return std::nullopt;
  return svg;
}

}  // namespace

MetafileSvg emfToSvg(std::string_view bytes, std::int64_t maxPixels) {
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

  const std::string_view declared = bytes.substr(0, declaredBytes ? declaredBytes : bytes.size());
  const std::size_t checkedSize = checkEmfRecords(declared);
  std::vector<char> data(declared.begin(),
                         declared.begin() + static_cast<std::ptrdiff_t>(checkedSize));
  std::optional<std::string> svg = drawEmfInChildProcess(data, width, height);
  if (!svg) emfInvalid("its records cannot be drawn");
  return {std::move(*svg), width, height};
}

}  // namespace vantrel
