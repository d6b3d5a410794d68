#pragma once
#include <cstddef>
#include <string>

namespace quillpack {

// Strict UTF-8 to UTF-16; false for malformed input (overlong forms,
// surrogates, truncated sequences), with the offset of the first bad byte
// in *errorAt when given.
bool Utf8ToUtf16(const std::string& in, std::u16string& out, size_t* errorAt = nullptr);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD and clears *exact
// when given.
std::string Utf16ToUtf8(const std::u16string& in, bool* exact = nullptr);

// Throws PackError unless `text` (a whole file named `path`) is UTF-8: a
// UTF-16 or UTF-32 byte order mark, a NUL byte or a malformed sequence is
// reported with the file and line, so a file saved in another encoding is
// named as such instead of failing later on garbled keys.
void CheckUtf8File(const std::string& text, const std::string& path);

}  // namespace quillpack
