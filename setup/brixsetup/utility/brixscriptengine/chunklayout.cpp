#include "chunklayout.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace brix {
namespace {

constexpr size_t kHeaderSize = 18;
constexpr size_t kSizeTOffset = 8;
const unsigned char kSignature[4] = {0x1B, 'L', 'u', 'a'};
const unsigned char kTail[6] = {0x19, 0x93, '\r', '\n', 0x1A, '\n'};

// Deeper nesting than the Lua parser can produce: such a chunk is forged,
// and refusing it keeps our recursion bounded.
constexpr int kMaxNesting = 200;

enum ConstantType : unsigned char { kNil = 0, kBoolean = 1, kNumber = 3, kString = 4 };

struct ChunkFault {
  std::string text;
};

std::string Format(const char* fmt, ...) {
  char buf[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// Returns an empty text for a usable header, else what is wrong with it.
std::string CheckHeader(const unsigned char* p, size_t size) {
  if (!IsPrecompiledChunk(p, size)) return "not a precompiled Lua chunk (no ESC \"Lua\" signature)";
  if (size < kHeaderSize)
    return Format("precompiled chunk header truncated: %u of %u bytes", unsigned(size), unsigned(kHeaderSize));
  if (p[4] != 0x52) return Format("precompiled chunk made for Lua version %d.%d, not 5.2", p[4] >> 4, p[4] & 0xF);
  if (p[5] != 0) return Format("precompiled chunk has unknown format %d", p[5]);
  if (p[6] != 1) return "precompiled chunk is big-endian; only little-endian chunks are supported";
  if (p[7] != 4) return Format("precompiled chunk has %d-byte int, expected 4", p[7]);
  if (p[8] != 4 && p[8] != 8) return Format("precompiled chunk has %d-byte size_t, expected 4 or 8", p[8]);
  if (p[9] != 4) return Format("precompiled chunk has %d-byte instructions, expected 4", p[9]);
  if (p[10] != 8) return Format("precompiled chunk has %d-byte numbers, expected 8", p[10]);
  if (p[11] != 0) return "precompiled chunk uses integral numbers, expected double";
  if (std::memcmp(p + 12, kTail, sizeof kTail) != 0) return "precompiled chunk header is corrupted (bad tail bytes)";
  return std::string();
}

// One pass over the chunk: every field is read with bounds checks and
// written again in the target layout.
class ChunkRewriter {
 public:
  ChunkRewriter(const unsigned char* data, size_t size, int targetWidth, bool strip, std::string& out)
      : p_(data), size_(size), srcWidth_(data[kSizeTOffset]), dstWidth_(targetWidth), strip_(strip), out_(out) {}

  void Run() {
    out_.append(reinterpret_cast<const char*>(p_), kHeaderSize);
    out_[kSizeTOffset] = static_cast<char>(dstWidth_);
    pos_ = kHeaderSize;
    Function(1);
    if (pos_ != size_) Fail(Format("%u bytes of trailing garbage after the main function", unsigned(size_ - pos_)));
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw ChunkFault{Format("precompiled chunk rejected at byte %u: ", unsigned(pos_)) + what};
  }

  size_t Left() const { return size_ - pos_; }

  void Need(uint64_t n, const char* what) {
    if (n > Left())
      Fail(Format("truncated while reading %s (%llu bytes needed, %u left)", what, (unsigned long long)n,
                  unsigned(Left())));
  }

  unsigned char Byte(const char* what) {
    Need(1, what);
    return p_[pos_++];
  }

  int32_t Int(const char* what) {
    Need(4, what);
    uint32_t v = uint32_t(p_[pos_]) | uint32_t(p_[pos_ + 1]) << 8 | uint32_t(p_[pos_ + 2]) << 16 |
                 uint32_t(p_[pos_ + 3]) << 24;
    pos_ += 4;
    return static_cast<int32_t>(v);
  }

  uint64_t SizeT(const char* what) {
    Need(srcWidth_, what);
    uint64_t v = 0;
    for (int i = srcWidth_ - 1; i >= 0; --i) v = v << 8 | p_[pos_ + i];
    pos_ += srcWidth_;
    return v;
  }

  void Copy(size_t from, size_t n) { out_.append(reinterpret_cast<const char*>(p_) + from, n); }
  void PutByte(unsigned char b) { out_.push_back(static_cast<char>(b)); }
  void PutInt(int32_t v) {
    for (int i = 0; i < 4; ++i) PutByte(static_cast<unsigned char>(uint32_t(v) >> (8 * i)));
  }
  void PutSizeT(uint64_t v) {
    for (int i = 0; i < dstWidth_; ++i) PutByte(static_cast<unsigned char>(v >> (8 * i)));
  }

  // A count of elements that take at least minBytes each: checked against
  // what is left before anything is sized by it.
  int32_t Count(const char* what, uint64_t minBytes, bool keep) {
    int32_t n = Int(what);
    if (n < 0) Fail(Format("negative %s (%d)", what, n));
    if (uint64_t(n) * minBytes > Left())
      Fail(Format("%s of %d exceeds the %u bytes left", what, n, unsigned(Left())));
    if (keep) PutInt(n);
    return n;
  }

  void String(const char* what, bool keep) {
    uint64_t n = SizeT(what);
    if (dstWidth_ == 4 && n > 0xFFFFFFFFull)
      Fail(Format("%s of %llu bytes does not fit the 32-bit layout", what, (unsigned long long)n));
    if (n > Left()) Fail(Format("%s of %llu bytes exceeds the %u bytes left", what, (unsigned long long)n, unsigned(Left())));
    if (n > 0 && p_[pos_ + n - 1] != 0) Fail(Format("%s is not NUL-terminated", what));
    if (keep) {
      PutSizeT(n);
      Copy(pos_, static_cast<size_t>(n));
    }
    pos_ += static_cast<size_t>(n);
  }

  void Function(int depth) {
    if (depth > kMaxNesting) Fail(Format("functions nested deeper than %d levels", kMaxNesting));
    // linedefined, lastlinedefined, numparams, is_vararg, maxstacksize
    Need(11, "function header");
    Copy(pos_, 11);
    pos_ += 11;

    int32_t code = Count("instruction count", 4, true);
    Copy(pos_, size_t(code) * 4);
    pos_ += size_t(code) * 4;

    int32_t constants = Count("constant count", 1, true);
    for (int32_t i = 0; i < constants; ++i) {
      unsigned char type = Byte("constant type");
      PutByte(type);
      switch (type) {
        case kNil:
          break;
        case kBoolean: {
          unsigned char b = Byte("boolean constant");
          if (b > 1) Fail(Format("boolean constant has value %d", b));
          PutByte(b);
          break;
        }
        case kNumber:
          Need(8, "number constant");
          Copy(pos_, 8);
          pos_ += 8;
          break;
        case kString:
          String("string constant", true);
          break;
        default:
          Fail(Format("unknown constant type %d", type));
      }
    }

    // The smallest function: its fixed fields, seven counts and a source.
    const uint64_t minFunction = 11 + 7 * 4 + uint64_t(srcWidth_);
    int32_t protos = Count("function count", minFunction, true);
    for (int32_t i = 0; i < protos; ++i) Function(depth + 1);

    int32_t upvalues = Count("upvalue count", 2, true);
    Copy(pos_, size_t(upvalues) * 2);  // instack, idx
    pos_ += size_t(upvalues) * 2;

    // Debug information: read (and so validated) in full, written only
    // when kept; stripped it reads as an absent source and three zero counts.
    const bool keep = !strip_;
    String("source name", keep);
    int32_t lines = Count("line info count", 4, keep);
    if (keep) Copy(pos_, size_t(lines) * 4);
    pos_ += size_t(lines) * 4;
    int32_t locals = Count("local variable count", uint64_t(srcWidth_) + 8, keep);
    for (int32_t i = 0; i < locals; ++i) {
      String("local variable name", keep);
      Need(8, "local variable range");
      if (keep) Copy(pos_, 8);
      pos_ += 8;
    }
    int32_t names = Count("upvalue name count", uint64_t(srcWidth_), keep);
    for (int32_t i = 0; i < names; ++i) String("upvalue name", keep);
    if (!keep) {
      PutSizeT(0);
      PutInt(0);
      PutInt(0);
      PutInt(0);
    }
  }

  const unsigned char* p_;
  size_t size_;
  size_t pos_ = 0;
  int srcWidth_;
  int dstWidth_;
  bool strip_;
  std::string& out_;
};

}  // namespace

bool IsPrecompiledChunk(const void* data, size_t size) {
  return data != nullptr && size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

int ChunkSizeTWidth(const void* data, size_t size) {
  if (data == nullptr || !CheckHeader(static_cast<const unsigned char*>(data), size).empty()) return 0;
  return static_cast<const unsigned char*>(data)[kSizeTOffset];
}

bool ConvertChunkLayout(const void* data, size_t size, int targetSizeT, bool strip, std::string& out,
                        std::string& error) {
  if (targetSizeT != 4 && targetSizeT != 8) {
    error = Format("cannot convert a precompiled chunk to %d-byte size_t (only 4 or 8)", targetSizeT);
    return false;
  }
  const auto* p = static_cast<const unsigned char*>(data);
  std::string bad = data ? CheckHeader(p, size) : "no chunk data";
  if (!bad.empty()) {
    error = bad;
    return false;
  }
  try {
    std::string result;
    result.reserve(size + size / 4);
    ChunkRewriter(p, size, targetSizeT, strip, result).Run();
    out.swap(result);
    return true;
  } catch (const ChunkFault& fault) {
    error = fault.text;
  } catch (const std::bad_alloc&) {
    error = "out of memory while converting a precompiled chunk";
  }
  return false;
}

}  // namespace brix
