#pragma once
// What `quillpack --help` prints, and the tail of every command-line error.

namespace quillpack {

extern const char kUsage[];

}  // namespace quillpack
