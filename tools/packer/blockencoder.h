#pragma once
// One solid block of a 7z archive, compressed with the LZMA SDK's encoders:
// LZMA or LZMA2, alone or after the x86 branch filter (BCJ), the chains the
// installer decodes as a stream.
#include <cstddef>
#include <cstdint>
#include <string>

#include "binary.h"

namespace quillpack {

class Progress;

// The compressor's settings (see payloadswitches.h for where they come
// from). Nothing here depends on the machine: the output is the same on
// every system and with any number of threads.
struct CoderSettings {
  bool lzma2 = true;               // else LZMA
  uint32_t dictionary = 64u << 20;  // bytes; a block smaller than this gets a smaller one
  int fb = 64;                     // fast bytes, 5..273
  uint32_t mc = 0;                 // match finder cycles; 0: the encoder's default for fb
  int lc = 3, lp = 0, pb = 2;
  bool binaryTree = true;          // BT4 (else HC4, with the fast algorithm)
  // 2 runs the match finder in a thread of its own; the bytes stay the same.
  int threads = 2;
};

// Where a block's bytes come from; throws PackError naming what failed.
class BlockInput {
 public:
  virtual ~BlockInput() = default;
  // Up to `size` bytes (fewer only at the end of the block).
  virtual size_t Read(uint8_t* buffer, size_t size) = 0;
};

// What the encoder wrote: the coder's properties as the 7z header keeps them.
struct EncodedBlock {
  Bytes properties;
  uint64_t packedSize = 0;
};

// Compresses exactly `size` bytes of `input`, through BCJ first when `bcj`,
// appending the packed stream to `out`. `progress` (if any) is told the
// bytes compressed, counted from `progressBase`. Throws PackError for the
// input's failures, a stop (StopSignal) or the encoder's own error.
EncodedBlock EncodeBlock(const CoderSettings& settings, bool bcj, uint64_t size, BlockInput& input, Bytes& out,
                         Progress* progress = nullptr, uint64_t progressBase = 0);

// The header's own compression, as 7-Zip does it: LZMA, in memory.
EncodedBlock EncodeHeader(const Bytes& header, Bytes& out);

// The 7z method ids of the coders.
constexpr uint32_t kMethodLzma = 0x030101;
constexpr uint32_t kMethodLzma2 = 0x21;
constexpr uint32_t kMethodBcj = 0x03030103;

}  // namespace quillpack
