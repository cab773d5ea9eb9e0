#pragma once
// Pictures for the icon, read by the command line: the picture loaders with the Qt application
// object they need (offscreen, no window), or, in a build without the loaders, a clear error.

#include <filesystem>
#include <string>

#include "icon/Picture.h"

namespace vantrel::cli {

// Throws PictureError, as loadPicture does.
Picture loadPictureFile(const std::filesystem::path& path);

}  // namespace vantrel::cli
