#pragma once
#include <string>

namespace quillpack {

// Strict UTF-8 to UTF-16; false for malformed input (overlong forms,
// surrogates, truncated sequences).
bool Utf8ToUtf16(const std::string& in, std::u16string& out);

}  // namespace quillpack
