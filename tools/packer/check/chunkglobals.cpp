#include "chunkglobals.h"

#include <cstdint>
#include <cstring>

#include "chunklayout.h"

namespace quillpack {
namespace {

// Lua 5.2's instruction layout (lopcodes.h): opcode in the low 6 bits, A in
// the next 8, C in 9, B in the top 9; an RK operand with bit 8 set names a
// constant. OP_SETTABUP is UpValue[A][RK(B)] := RK(C).
constexpr uint32_t kOpSetTabUp = 8;
constexpr uint32_t kRkConstant = 1u << 8;

constexpr size_t kHeaderSize = 18;
constexpr int kMaxDepth = 250;  // Lua itself nests at most 200 levels

struct Function {
  std::vector<uint32_t> code;
  std::vector<std::string> constants;  // strings only, "" for the rest
  std::vector<bool> isString;
  std::vector<int> lines;  // per instruction
  std::vector<std::string> upvalueNames;
  std::vector<Function> protos;
};

class Reader {
 public:
  Reader(const Bytes& b, int sizeT) : b_(b), sizeT_(sizeT) {}

  void Skip(size_t n) {
    if (n > b_.size() - at_) Fail();
    at_ += n;
  }
  uint8_t Byte() {
    Skip(1);
    return uint8_t(b_[at_ - 1]);
  }
  int32_t Int() {
    Skip(4);
    return int32_t(GetU32(b_, at_ - 4));
  }
  size_t Count(size_t itemBytes) {
    const int32_t n = Int();
    if (n < 0 || size_t(n) > (b_.size() - at_) / itemBytes) Fail();
    return size_t(n);
  }
  std::string String() {
    const size_t start = Need(size_t(sizeT_));
    uint64_t n = GetU32(b_, start);
    if (sizeT_ == 8) n |= uint64_t(GetU32(b_, start + 4)) << 32;
    if (n == 0) return std::string();
    if (n > b_.size() - at_) Fail();
    std::string s = b_.substr(at_, size_t(n) - 1);  // without the stored NUL
    at_ += size_t(n);
    return s;
  }

  void ReadFunction(Function& f, int depth) {
    if (depth > kMaxDepth) Fail();
    Skip(4 + 4 + 3);  // line defined, last line, parameters, vararg, stack
    f.code.resize(Count(4));
    for (uint32_t& i : f.code) i = uint32_t(Int());
    const size_t constants = Count(1);
    f.constants.resize(constants);
    f.isString.resize(constants);
    for (size_t i = 0; i < constants; ++i) {
      switch (Byte()) {
        case 0: break;            // nil
        case 1: Skip(1); break;   // boolean
        case 3: Skip(8); break;   // number
        case 4: f.constants[i] = String(); f.isString[i] = true; break;
        default: Fail();
      }
    }
    f.protos.resize(Count(1));
    for (Function& p : f.protos) ReadFunction(p, depth + 1);
    Skip(2 * Count(2));  // upvalues: in stack, index
    String();            // source
    f.lines.resize(Count(4));
    for (int& line : f.lines) line = Int();
    const size_t locals = Count(1);
    for (size_t i = 0; i < locals; ++i) {
      String();
      Skip(8);
    }
    f.upvalueNames.resize(Count(1));
    for (std::string& name : f.upvalueNames) name = String();
  }

  size_t at_ = 0;

 private:
  size_t Need(size_t n) {
    Skip(n);
    return at_ - n;
  }
  [[noreturn]] static void Fail() { throw PackError("compiled chunk is truncated or damaged"); }

  const Bytes& b_;
  int sizeT_;
};

void Collect(const Function& f, std::vector<GlobalWrite>& out) {
  for (size_t pc = 0; pc < f.code.size(); ++pc) {
    const uint32_t i = f.code[pc];
    if ((i & 0x3F) != kOpSetTabUp) continue;
    const uint32_t a = (i >> 6) & 0xFF, key = i >> 23;
    if (a >= f.upvalueNames.size() || f.upvalueNames[a] != "_ENV" || !(key & kRkConstant)) continue;
    const uint32_t k = key & ~kRkConstant;
    if (k >= f.constants.size() || !f.isString[k]) continue;
    out.push_back({f.constants[k], pc < f.lines.size() ? f.lines[pc] : 0});
  }
  for (const Function& p : f.protos) Collect(p, out);
}

}  // namespace

std::vector<GlobalWrite> GlobalWrites(const Bytes& dump) {
  const int sizeT = brix::ChunkSizeTWidth(dump.data(), dump.size());
  if (sizeT == 0) throw PackError("not a Lua 5.2 chunk of this machine's layout");
  Reader r(dump, sizeT);
  r.at_ = kHeaderSize;
  Function main;
  r.ReadFunction(main, 0);
  std::vector<GlobalWrite> out;
  Collect(main, out);
  return out;
}

}  // namespace quillpack
