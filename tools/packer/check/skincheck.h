#pragma once
// The skin folder as the installer's window reads it: the layout through
// the toolkit's own reader and schema, the elements its builder makes, the
// controls the window looks up (skincontrols.h), the font file and every
// image at each DPI scale.
#include "checkreport.h"

namespace quillpack {

void CheckSkin(CheckReport& report);

}  // namespace quillpack
