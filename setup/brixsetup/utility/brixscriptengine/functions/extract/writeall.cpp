#include "writeall.h"

#include "archivesource.h"

namespace brix {

bool WriteAll(HANDLE file, const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const DWORD piece = size < kIoPiece ? static_cast<DWORD>(size) : kIoPiece;
    DWORD written = 0;
    if (!WriteFile(file, p, piece, &written, nullptr) || written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

}  // namespace brix
