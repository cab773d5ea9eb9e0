#pragma once
// The two pieces of the viewer that the builder finds and changes in a built program's file:
// the marker record (which receives S) and the icon image (whose pixels receive the user's
// icon). Both are read through volatile memory, so the compiler can neither fold them into
// the code nor drop them: what the program reads is what its file holds.

#include <array>

#include "program/ExeLayout.h"
#include "viewer/ViewerIcon.h"

namespace vantrel::viewer {

std::array<unsigned char, exe::kMarkerRecordSize> markerRecord();
IconImage iconImage();

}  // namespace vantrel::viewer
