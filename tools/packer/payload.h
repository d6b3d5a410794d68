#pragma once
// The payload folder as the installer's "_7Z" resource, and the
// uninstaller packed the same way.
#include <cstdint>
#include <string>

#include "binary.h"
#include "sevenzipwriter.h"
#include "sourcedate.h"

namespace quillpack {

// What a build of the payload gave, for the packer's summary.
struct PayloadReport {
  uint64_t filesBytes = 0;    // the folder's files, added up
  uint64_t archiveBytes = 0;  // the 7z archive
  double seconds = 0;         // listing, compressing and the decoder's check
};

// A 7z archive of the folder's contents written with `settings`, its first
// two bytes exchanged as the installer expects them. Times are the files'
// own, held to `limit`. An empty folder gives the 32-byte empty archive.
// The folder must hold only files and folders with names the installer
// accepts, and the archive is unpacked once with the installer's decoder
// before it is used.
Bytes BuildPayload(const std::string& folder, const SevenZipSettings& settings, const TimeLimit& limit,
                   PayloadReport& report);

// "1.6 MB -> 605.8 KB (37.0 %)", in decimal units as file managers and the
// benchmark print them; "(empty)" for nothing before.
std::string SizeChange(uint64_t from, uint64_t to);

// The summary line: "payload 466.2 MB -> 57.1 MB (12.2 %) in 48.3 s".
std::string PayloadSummary(const PayloadReport& report);

// The uninstaller as the "_7Z" resource UNINST.7Z: one file, uninst.exe,
// BCJ + LZMA2 at the best settings, first two bytes exchanged.
Bytes PackUninstaller(const Bytes& uninstaller);

}  // namespace quillpack
