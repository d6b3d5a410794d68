#pragma once
// payload_7z_switches: 7zz's syntax for the settings of the packer's own 7z
// writer. Only a documented subset is accepted, and only what gives blocks
// the installer decodes as a stream (LZMA or LZMA2, BCJ or no filter).
#include <string>

#include "sevenzipwriter.h"

namespace quillpack {

// What the packer uses when product.ini sets no payload_7z_switches.
extern const char kDefaultPayloadSwitches[];

// The switches accepted, for messages and --help.
extern const char kAcceptedPayloadSwitches[];

// Reads `switches` (words split at blanks) into settings. Throws PackError
// naming the first refused word and why (`where` prefixes the message).
SevenZipSettings ParsePayloadSwitches(const std::string& switches, const std::string& where);

// kDefaultPayloadSwitches, read like a product's own: a default the parser
// refuses fails every build at once.
SevenZipSettings DefaultPayloadSettings();

}  // namespace quillpack
