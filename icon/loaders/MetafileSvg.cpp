#include "icon/loaders/MetafileSvg.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace vantrel {

namespace {

constexpr double kScreenDotsPerInch = 96.0;
constexpr double kHundredthsOfMillimetrePerInch = 2540.0;

std::uint32_t uint32At(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int k = 3; k >= 0; --k) value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(k)]);
  return value;
}

std::int32_t int32At(std::string_view bytes, std::size_t at) { return static_cast<std::int32_t>(uint32At(bytes, at)); }

// ---------------------------------------------------------------------------------------------
// WMF

struct WmfApiDeleter {
  void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};
using WmfApi = std::unique_ptr<wmfAPI, WmfApiDeleter>;

[[noreturn]] void wmfInvalid(const char* why) { throw PictureError(std::string("Metafile is not valid: ") + why + "."); }

WmfApi createWmfApi() {
  wmfAPI_Options options{};
  options.function = wmf_svg_function;
  // Errors come back as codes; nothing is printed, nothing is written to files.
  const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  wmfAPI* raw = nullptr;
  const wmf_error_t error = wmf_api_create(&raw, flags, &options);
  WmfApi api(raw);
  if (error != wmf_E_None || !api) throw PictureError("Metafile support could not be started.");
  return api;
}

}  // namespace

MetafileSvg wmfToSvg(std::string_view bytes, std::int64_t maxPixels) {
  // libwmf wants a writable buffer; it reads only.
  std::vector<unsigned char> data(bytes.begin(), bytes.end());
  if (data.size() < 18) wmfInvalid("the file is too short");
  WmfApi api = createWmfApi();
  if (wmf_mem_open(api.get(), data.data(), static_cast<long>(data.size())) != wmf_E_None) wmfInvalid("it cannot be opened");
  wmfD_Rect bounds{};
  if (wmf_scan(api.get(), 0, &bounds) != wmf_E_None) wmfInvalid("its records cannot be read");
  unsigned int width = 0;
  unsigned int height = 0;
  if (wmf_display_size(api.get(), &width, &height, kScreenDotsPerInch, kScreenDotsPerInch) != wmf_E_None) {
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

}  // namespace

MetafileSvg emfToSvg(std::string_view bytes, std::int64_t maxPixels) {
  if (bytes.size() < kEmfHeaderSize) emfInvalid("the file is too short");
  if (uint32At(bytes, 0) != kEmrHeader || uint32At(bytes, 40) != kEmfSignature) emfInvalid("it has no EMF header");
  const std::uint32_t headerSize = uint32At(bytes, 4);
  if (headerSize < kEmfHeaderSize || headerSize > bytes.size() || headerSize % 4 != 0) emfInvalid("its header size is wrong");
  const std::uint32_t declaredBytes = uint32At(bytes, 48);
  if (declaredBytes > bytes.size()) emfInvalid("the file is shorter than its header says");
  const int width = framePixels(int32At(bytes, 24), int32At(bytes, 32));
  const int height = framePixels(int32At(bytes, 28), int32At(bytes, 36));
  checkPictureSize(width, height, maxPixels);

  std::vector<char> data(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(declaredBytes ? declaredBytes : bytes.size()));
  generatorOptions options{};
  options.nameSpace = const_cast<char*>("");
  options.verbose = false;
  options.emfplus = true;
  options.svgDelimiter = true;
  options.imgWidth = width;
  options.imgHeight = height;
  char* text = nullptr;
  std::size_t length = 0;
  const int converted = emf2svg(data.data(), data.size(), &text, &length, &options);
  const std::unique_ptr<char, decltype(&std::free)> owned(text, &std::free);
  if (!converted || text == nullptr || length == 0) emfInvalid("its records cannot be drawn");
  return {std::string(text, length), width, height};
}

}  // namespace vantrel
