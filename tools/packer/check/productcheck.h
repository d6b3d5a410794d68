#pragma once
// `quillpack --check --product <folder>`: every problem of a product folder
// that packing or the installer would meet, found without writing anything.
#include <string>

namespace quillpack {

// Prints the problems and notes, then a summary line, on stdout. Returns
// the exit code: 0 when there are no problems (notes allowed), 1 otherwise.
int CheckProductFolder(const std::string& folder);

}  // namespace quillpack
