#pragma once
// JPEG through libjpeg, without Qt. Grey, RGB, CMYK and YCCK pictures, baseline or progressive.

#include <string_view>

#include "icon/Picture.h"

namespace vantrel {

// Throws PictureError for damaged or truncated data (libjpeg's message is passed on) and for
// pictures larger than `maxPixels`, which are refused after reading the header and before any
// pixel is decoded.
Picture decodeJpeg(std::string_view bytes, std::int64_t maxPixels = kMaxPicturePixels);

}  // namespace vantrel
