#pragma once
// Loading a picture file for the icon. The loader is chosen by the file's extension (any case):
//   bmp, ico, gif, png   QImageReader (the format fixed by the extension, not guessed);
//                        an icon file gives its 32 x 32 image when it has one, else its largest
//   jpg, jpeg            libjpeg, called directly (JpegPicture.h)
//   wmf                  libwmf turns it into SVG, which QtSvg draws (MetafileSvg.h)
//   emf                  the program vantrel-emf2svg (libemf2svg) turns it into SVG, which QtSvg
//                        draws; a converter that is missing, crashes or hangs is a picture
//                        that cannot be loaded
// A file that cannot be loaded raises a PictureError whose text says why in English, as the
// platform's own loaders do; so does a picture without pixels or one of more than
// kMaxPicturePixels, which is refused before its pixels are decoded.
//
// Loading GIF and ICO files and drawing metafiles needs a QGuiApplication (the offscreen
// platform will do).

#include <filesystem>
#include <string>
#include <vector>

#include "icon/Picture.h"

namespace vantrel {

// Files larger than this are not read at all.
inline constexpr std::uint64_t kMaxPictureFileBytes = std::uint64_t{256} << 20;

// The extensions offered by the picture dialog, without the dot, in lower case.
const std::vector<std::string>& pictureExtensions();

// Throws PictureError (also for a missing or unreadable file).
Picture loadPicture(const std::filesystem::path& path);

}  // namespace vantrel
