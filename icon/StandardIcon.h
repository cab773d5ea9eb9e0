#pragma once
// The built-in standard icon: one 32 x 32 image in the 16 colours of IconPalette with a
// transparency mask (a form sheet with a title bar, an input box, a ticked check box and a green
// arrow for sending).

#include "icon/Picture.h"

namespace vantrel {

// The standard icon as a picture: every pixel an IconPalette colour, fully opaque, or fully
// transparent where the mask leaves it out.
const Picture& standardIconPicture();

}  // namespace vantrel
