#pragma once
// Windows bitmap files for the IconBitmap ("theicon.bmp").
//
// Written: file header, 40-byte information header, the colour table (16 entries for the icon),
// then the pixel rows bottom-up, each padded to four bytes. For the icon that is 630 bytes:
// 14 + 40 + 64 + 512.
//
// Read: uncompressed bitmaps of 1, 4, 8, 16, 24 and 32 bits per pixel, bottom-up or top-down,
// with an information header of 40, 52, 56, 108 or 124 bytes; 16- and 32-bit ones also with
// colour masks. Every field is checked against the bytes really there; anything else (run-length
// compression, JPEG or PNG inside, OS/2 headers, damaged or short files) is refused with a
// PictureError whose text begins "Bitmap image is not valid". A file that loads gives an
// IconBitmap of the file's own size and depth (see IconBitmap.h).

#include <filesystem>
#include <string>
#include <string_view>

#include "icon/IconBitmap.h"
#include "icon/Picture.h"

namespace vantrel {

inline constexpr const char* kIconFileName = "theicon.bmp";

// The whole file for an indexed bitmap of 1, 4 or 8 bits per pixel or a 24- or 32-bit one.
// Throws PictureError for a bitmap that cannot be written (another depth, sizes that do not
// match, a pixel index outside the colour table).
std::string encodeBitmapFile(const IconBitmap& bitmap);

// Throws PictureError.
IconBitmap decodeBitmapFile(std::string_view bytes, std::int64_t maxPixels = kMaxPicturePixels);

// Replaces `path` through a new file in the same folder: a failure leaves the old file as it
// was. Throws PictureError, CannotCreateFile or InOutError (base/ByteFile.h).
void saveBitmapFile(const std::filesystem::path& path, const IconBitmap& bitmap);

// Throws CannotOpenFile, InOutError or PictureError.
IconBitmap loadBitmapFile(const std::filesystem::path& path);

}  // namespace vantrel
