#pragma once
// The switches a product may add to `7zz a` for its payload: only those
// that change how the payload is compressed, and only into coders the
// installer's decoder (the LZMA SDK's C 7z decoder) unpacks.
#include <string>
#include <vector>

namespace quillpack {

// The coders the installer decodes: main methods, and filters before one.
extern const char* const kPayloadMethods[];
extern const char* const kPayloadFilters[];

// Splits `switches` at blanks and checks every word; throws PackError
// naming the first refused switch and why (`where` prefixes the message).
std::vector<std::string> CheckPayloadSwitches(const std::string& switches, const std::string& where);

}  // namespace quillpack
