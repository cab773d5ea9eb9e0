#pragma once
// Windows metafiles (WMF, through libwmf) and enhanced metafiles (EMF, through libemf2svg in the
// program vantrel-emf2svg) turned into SVG text, without Qt. The size is the picture's size in
// pixels at 96 dots per inch, as a screen shows a metafile.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "icon/Picture.h"

namespace vantrel {

struct MetafileSvg {
  std::string svg;
  int width = 0;
  int height = 0;
};

// The program that checks and draws an enhanced metafile's records, and the bounds it runs in:
// killed after `timeLimit` or once it writes more than `maxSvgBytes`.
struct EmfConverter {
  std::filesystem::path program;
  std::chrono::milliseconds timeLimit{20'000};
  std::size_t maxSvgBytes = std::size_t{64} << 20;
};

// The converter emfToSvg runs unless told otherwise: the one set last, else vantrel-emf2svg
// among the running program's support files (base/SupportFiles.h). Programs that run outside
// the folders of the support files (the tests) set theirs.
[[nodiscard]] EmfConverter emfConverter();
void setEmfConverter(EmfConverter converter);

// Both throw PictureError for data the library cannot read and for sizes that checkPictureSize
// refuses; emfToSvg also when its converter cannot be started, crashes, hangs or writes too
// much.
MetafileSvg wmfToSvg(std::string_view bytes, std::int64_t maxPixels = kMaxPicturePixels);
MetafileSvg emfToSvg(std::string_view bytes, std::int64_t maxPixels = kMaxPicturePixels);
MetafileSvg emfToSvg(std::string_view bytes, std::int64_t maxPixels, const EmfConverter& converter);

// What emfToSvg hands its converter once it has checked the header: the bytes up to the size the
// header states, and the picture's size. Throws PictureError as emfToSvg does.
struct EmfToDraw {
  std::string_view records;
  int width = 0;
  int height = 0;
};
EmfToDraw checkEmfHeader(std::string_view bytes, std::int64_t maxPixels = kMaxPicturePixels);

}  // namespace vantrel
