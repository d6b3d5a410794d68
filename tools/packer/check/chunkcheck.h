#pragma once
// The three chunks of a product folder: syntax, the hooks each defines
// (and names that look like a hook but are not one the host calls there),
// and the configuration the host reads that no chunk sets.
#include "checkreport.h"

namespace quillpack {

void CheckChunks(CheckReport& report);

// Edit distance between two names, letters compared without regard to
// case; a swap of two neighbours counts once.
size_t NameDistance(const std::string& a, const std::string& b);

}  // namespace quillpack
