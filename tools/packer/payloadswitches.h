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

// The chains (as 7zz lists a block's method) the installer decodes as a
// stream; others it decodes whole, a block at a time.
extern const char* const kStreamingChains[];

// What the packer gives 7zz when product.ini sets no payload_7z_switches.
extern const char kDefaultPayloadSwitches[];

// Splits `switches` at blanks and checks every word; throws PackError
// naming the first refused switch and why (`where` prefixes the message).
std::vector<std::string> CheckPayloadSwitches(const std::string& switches, const std::string& where);

// kDefaultPayloadSwitches, checked like a product's own: a default the
// checks refuse fails every build at once.
std::vector<std::string> DefaultPayloadSwitches();

}  // namespace quillpack
