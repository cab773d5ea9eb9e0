#pragma once
// Windows metafiles (WMF, through libwmf) and enhanced metafiles (EMF, through libemf2svg)
// turned into SVG text, without Qt. The size is the picture's size in pixels at 96 dots per inch,
// as a screen shows a metafile.

#include <string>
#include <string_view>

#include "icon/Picture.h"

namespace vantrel {

struct MetafileSvg {
  std::string svg;
  int width = 0;
  int height = 0;
};

// Both throw PictureError for data the library cannot read and for sizes that checkPictureSize
// refuses.
MetafileSvg wmfToSvg(std::string_view bytes, std::int64_t maxPixels = kMaxPicturePixels);
MetafileSvg emfToSvg(std::string_view bytes, std::int64_t maxPixels = kMaxPicturePixels);

}  // namespace vantrel
