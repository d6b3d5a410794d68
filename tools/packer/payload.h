#pragma once
// The payload folder as the installer's "_7Z" resource.
#include <cstdint>
#include <string>
#include <vector>

#include "binary.h"
#include "payloadcheck.h"

namespace quillpack {

// What a build of the payload gave, for the packer's summary.
struct PayloadReport {
  uint64_t filesBytes = 0;    // the folder's files, added up
  uint64_t archiveBytes = 0;  // the 7z archive
  double seconds = 0;         // listing, 7zz and the decoder's check
  PayloadChains chains;       // coder chain of each solid block
};

// A 7z archive of the folder's contents made by 7zz with the given extra
// switches (checked by CheckPayloadSwitches), its first two bytes exchanged
// as the installer expects them. An empty folder gives an empty (but valid)
// archive. The folder must hold only files and folders with names the
// installer accepts, and the archive is unpacked once with the installer's
// decoder before it is used.
Bytes BuildPayload(const std::string& folder, const std::vector<std::string>& switches, const std::string& tempFolder,
                   PayloadReport& report);

// The summary line: "payload 466.2 MB -> 57.1 MB (12.2 %) in 48.3 s".
std::string PayloadSummary(const PayloadReport& report);

// A note naming the blocks whose chain the installer cannot stream (it
// decodes them whole, slower and holding the block in memory); empty when
// every block streams.
std::string PayloadChainNote(const PayloadReport& report);

}  // namespace quillpack
