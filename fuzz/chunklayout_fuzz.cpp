// The precompiled-chunk converter over any bytes: it either refuses them
// (leaving its output alone) or writes a chunk that converts back to the
// same bytes.
#include <string>

#include "chunklayout.h"
#include "fuzzsupport.h"

namespace {

bool Convert(const std::string& in, int width, bool strip, std::string& out) {
  std::string error;
  const std::string before = "untouched";
  out = before;
  const bool ok = brix::ConvertChunkLayout(in.data(), in.size(), width, strip, out, error);
  if (!ok) {
    FUZZ_CHECK(out == before);
    FUZZ_CHECK(!error.empty());
  }
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const int sourceWidth = brix::ChunkSizeTWidth(data, size);
  for (int width : {4, 8})
    for (bool strip : {false, true}) {
      std::string out;
      if (!Convert(in, width, strip, out)) continue;
      FUZZ_CHECK(sourceWidth == 4 || sourceWidth == 8);
      FUZZ_CHECK(brix::ChunkSizeTWidth(out.data(), out.size()) == width);
      std::string back, again;
      FUZZ_CHECK(Convert(out, sourceWidth, false, back));
      if (!strip) {
        FUZZ_CHECK(back == in);
      } else {
        // Stripping twice changes nothing more.
        FUZZ_CHECK(Convert(out, width, true, again));
        FUZZ_CHECK(again == out);
      }
    }
  return 0;
}
