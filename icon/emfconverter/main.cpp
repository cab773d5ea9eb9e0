// vantrel-emf2svg WIDTH HEIGHT: reads an enhanced metafile on stdin and writes it as SVG of that
// size in pixels on stdout; the exit status says how it went (icon/EmfConverterExit.h).
//
// It is a program of its own because libemf2svg and libUEMF may only be distributed under the
// GPL version 2, which the tool, linking GPL-3-only libraries, cannot offer; and because
// libemf2svg still reads past damaged records beyond anything the record checks can see, so a
// crash here must end this process only. The callers (icon/loaders/MetafileSvg.cpp) limit its
// time and its output; it limits its own memory.

#include <emf2svg.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "icon/EmfConverterExit.h"
#include "icon/emfconverter/EmfRecords.h"

namespace {

using vantrel::EmfConverterExit;

constexpr std::size_t kMaxInputBytes = std::size_t{256} << 20;  // the picture loader's bound
constexpr std::size_t kMaxSvgBytes = std::size_t{64} << 20;
constexpr rlim_t kMaxAddressSpace = rlim_t{1} << 30;
constexpr rlim_t kMaxCpuSeconds = 30;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// A metafile that makes the library allocate without end fails here instead of pressing the
// whole machine; the processor time limit ends a converter whose caller is gone. The address
// space is left alone under AddressSanitizer, whose shadow memory alone reserves terabytes.
void limitOwnResources() {
  if (!kAddressSanitizer) {
    const rlimit memory{kMaxAddressSpace, kMaxAddressSpace};
    (void)::setrlimit(RLIMIT_AS, &memory);  // without it the conversion is merely unbounded
  }
  const rlimit cpu{kMaxCpuSeconds, kMaxCpuSeconds};
  (void)::setrlimit(RLIMIT_CPU, &cpu);  // likewise
}

std::optional<int> pixelsFrom(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

std::optional<std::string> readAllInput() {
  std::string input;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return input;
    if (input.size() + static_cast<std::size_t>(got) > kMaxInputBytes) return std::nullopt;
    input.append(buffer, static_cast<std::size_t>(got));
  }
}

bool writeAll(const char* text, std::size_t length) {
  for (std::size_t at = 0; at < length;) {
    const ssize_t written = ::write(STDOUT_FILENO, text + at, length - at);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    at += static_cast<std::size_t>(written);
  }
  return true;
}

EmfConverterExit drawAsSvg(std::string& records, int width, int height) {
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
  const int converted = emf2svg(records.data(), records.size(), &text, &length, &options);
  const bool usable = converted && text != nullptr && length > 0 && length <= kMaxSvgBytes;
  const bool written = usable && writeAll(text, length);
  std::free(text);
  return written ? EmfConverterExit::Drawn : EmfConverterExit::NotDrawn;
}

int convert(int argc, char** argv) {
  if (argc != 3) return static_cast<int>(EmfConverterExit::Usage);
  const std::optional<int> width = pixelsFrom(argv[1]);
  const std::optional<int> height = pixelsFrom(argv[2]);
  std::optional<std::string> input = readAllInput();
  if (!width || !height || !input) return static_cast<int>(EmfConverterExit::Usage);
  const vantrel::EmfRecordCheck check = vantrel::checkEmfRecords(*input);
  if (check.verdict != EmfConverterExit::Drawn) return static_cast<int>(check.verdict);
  input->resize(check.drawableSize);
  return static_cast<int>(drawAsSvg(*input, *width, *height));
}

}  // namespace

int main(int argc, char** argv) {
  limitOwnResources();
  return convert(argc, argv);
}
