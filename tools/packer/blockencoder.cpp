#include "blockencoder.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "lzma/Bra.h"
#include "lzma/Lzma2Enc.h"
#include "lzma/LzmaEnc.h"
#include "progress.h"
#include "stopsignal.h"

namespace quillpack {
namespace {

void* Alloc(ISzAllocPtr, size_t size) { return size ? std::malloc(size) : nullptr; }
void Free(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc kAlloc = {Alloc, Free};

// The block's bytes as the encoder pulls them (from its match finder's
// thread when it has one). C code calls this, so nothing may be thrown
// through it: a failure is kept and thrown again once the encoder returns.
class InStream {
 public:
  InStream(BlockInput& input, uint64_t size, bool bcj) : input_(input), left_(size), bcj_(bcj) {
    vt_.Read = &InStream::Read;
    if (bcj_) pending_.resize(size_t(1) << 20);
  }
  ISeqInStreamPtr Stream() const { return &vt_; }
  std::exception_ptr failure() const { return failure_; }
  uint64_t left() const { return left_; }

 private:
  static SRes Read(ISeqInStreamPtr p, void* buffer, size_t* size) {
    // vt_ is the first member: the encoder hands its address back.
    auto* self = reinterpret_cast<InStream*>(const_cast<ISeqInStream*>(p));
    try {
      *size = self->bcj_ ? self->Filtered(static_cast<uint8_t*>(buffer), *size)
                         : self->Plain(static_cast<uint8_t*>(buffer), *size);
      return SZ_OK;
    } catch (...) {
      self->failure_ = std::current_exception();
      *size = 0;
      return SZ_ERROR_READ;
    }
  }

  size_t Plain(uint8_t* buffer, size_t size) {
    const size_t n = input_.Read(buffer, size < left_ ? size : size_t(left_));
    left_ -= n;
    return n;
  }

  // Through the x86 filter, which converts an instruction only with the
  // bytes after it in hand: the few it leaves wait for the next piece, and
  // at the end of the block stay as they are (as the decoders leave them).
  size_t Filtered(uint8_t* buffer, size_t size) {
    if (given_ == converted_) {
      std::memmove(pending_.data(), pending_.data() + converted_, filled_ - converted_);
      filled_ -= converted_;
      given_ = converted_ = 0;
      while (filled_ < pending_.size() && left_ > 0) {
        const size_t want = pending_.size() - filled_ < left_ ? pending_.size() - filled_ : size_t(left_);
        const size_t n = input_.Read(pending_.data() + filled_, want);
        filled_ += n;
        left_ -= n;
        if (n < want) break;
      }
      const Byte* end = z7_BranchConvSt_X86_Enc(pending_.data(), filled_, pc_, &state_);
      converted_ = left_ == 0 ? filled_ : size_t(end - pending_.data());
      pc_ += UInt32(converted_);
    }
    const size_t n = size < converted_ - given_ ? size : converted_ - given_;
    std::memcpy(buffer, pending_.data() + given_, n);
    given_ += n;
    return n;
  }

  ISeqInStream vt_;
  BlockInput& input_;
  uint64_t left_;
  bool bcj_;
  std::vector<uint8_t> pending_;
  size_t filled_ = 0, converted_ = 0, given_ = 0;
  UInt32 pc_ = 0;
  UInt32 state_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
  std::exception_ptr failure_;
};

struct OutStream {
  ISeqOutStream vt;  // first: the encoder hands its address back
  Bytes* out;
  uint64_t written = 0;

  static size_t Write(ISeqOutStreamPtr p, const void* data, size_t size) {
    auto* self = reinterpret_cast<OutStream*>(const_cast<ISeqOutStream*>(p));
    try {
      self->out->append(static_cast<const char*>(data), size);
    } catch (...) {
      return 0;  // out of memory: the encoder reports a write error
    }
    self->written += size;
    return size;
  }
};

// Called by the encoder between its steps: shows how far it is and stops it
// once a stop is asked for.
struct StepCheck {
  ICompressProgress vt;  // first: the encoder hands its address back
  Progress* progress;
  uint64_t base;

  static SRes Step(ICompressProgressPtr p, UInt64 in, UInt64) {
    const auto* self = reinterpret_cast<const StepCheck*>(p);
    if (self->progress && in != UInt64(Int64(-1))) self->progress->Reach(self->base + in);
    return StopSignal() ? SZ_ERROR_PROGRESS : SZ_OK;
  }
};

CLzmaEncProps Properties(const CoderSettings& s, uint64_t size) {
  CLzmaEncProps p;
  LzmaEncProps_Init(&p);
  p.level = 9;  // every setting below is explicit; the level fills none of them
  p.dictSize = s.dictionary;
  p.reduceSize = size;  // the dictionary shrinks to a smaller block
  p.lc = s.lc;
  p.lp = s.lp;
  p.pb = s.pb;
  p.algo = s.binaryTree ? 1 : 0;
  p.btMode = s.binaryTree ? 1 : 0;
  p.numHashBytes = 4;
  p.fb = s.fb;
  p.mc = s.mc;
  p.numThreads = s.threads > 1 ? 2 : 1;
  p.writeEndMark = 0;  // 7z keeps the sizes
  return p;
}

[[noreturn]] void Fail(SRes res, const InStream& in, const CoderSettings& s) {
  if (in.failure()) std::rethrow_exception(in.failure());
  ThrowIfStopped();
  if (res == SZ_ERROR_MEM || res == SZ_ERROR_WRITE)
    throw PackError("not enough memory to compress with a " + std::to_string(s.dictionary >> 20) +
                    " MiB dictionary (the compressor needs about 11 times that)");
  throw PackError("the compressor failed with code " + std::to_string(res));
}

}  // namespace

EncodedBlock EncodeBlock(const CoderSettings& settings, bool bcj, uint64_t size, BlockInput& input, Bytes& out,
                         Progress* progress, uint64_t progressBase) {
  InStream in(input, size, bcj);
  OutStream sink{{&OutStream::Write}, &out};
  StepCheck stop{{&StepCheck::Step}, progress, progressBase};
  const CLzmaEncProps props = Properties(settings, size);
  EncodedBlock block;
  SRes res;
  if (settings.lzma2) {
    CLzma2EncProps p2;
    Lzma2EncProps_Init(&p2);
    p2.lzmaProps = props;
    // One LZMA2 stream per block: independent sub-blocks (the encoder's way
    // to use more threads) would each start without a dictionary.
    p2.blockSize = LZMA2_ENC_PROPS_BLOCK_SIZE_SOLID;
    p2.numBlockThreads_Max = 1;
    p2.numBlockThreads_Reduced = 1;
    p2.numTotalThreads = props.numThreads;
    CLzma2EncHandle enc = Lzma2Enc_Create(&kAlloc, &kAlloc);
    if (!enc) throw PackError("not enough memory for the compressor");
    res = Lzma2Enc_SetProps(enc, &p2);
    if (res == SZ_OK) {
      Lzma2Enc_SetDataSize(enc, size);
      block.properties = Bytes(1, char(Lzma2Enc_WriteProperties(enc)));
      res = Lzma2Enc_Encode2(enc, &sink.vt, nullptr, nullptr, in.Stream(), nullptr, 0, &stop.vt);
    }
    Lzma2Enc_Destroy(enc);
  } else {
    CLzmaEncHandle enc = LzmaEnc_Create(&kAlloc);
    if (!enc) throw PackError("not enough memory for the compressor");
    res = LzmaEnc_SetProps(enc, &props);
    if (res == SZ_OK) {
      LzmaEnc_SetDataSize(enc, size);
      Byte header[LZMA_PROPS_SIZE];
      SizeT headerSize = sizeof header;
      res = LzmaEnc_WriteProperties(enc, header, &headerSize);
      block.properties.assign(reinterpret_cast<const char*>(header), headerSize);
    }
    if (res == SZ_OK) res = LzmaEnc_Encode(enc, &sink.vt, in.Stream(), &stop.vt, &kAlloc, &kAlloc);
    LzmaEnc_Destroy(enc, &kAlloc, &kAlloc);
  }
  if (res != SZ_OK) Fail(res, in, settings);
  if (in.failure()) std::rethrow_exception(in.failure());
  ThrowIfStopped();
  if (in.left() != 0) throw PackError("the compressor ended " + std::to_string(in.left()) + " bytes before its block");
  block.packedSize = sink.written;
  return block;
}

EncodedBlock EncodeHeader(const Bytes& header, Bytes& out) {
  CoderSettings s;
  s.lzma2 = false;
  s.dictionary = 1u << 20;
  s.fb = 273;
  s.threads = 1;
  const CLzmaEncProps props = Properties(s, header.size());
  CLzmaEncHandle enc = LzmaEnc_Create(&kAlloc);
  if (!enc) throw PackError("not enough memory for the compressor");
  EncodedBlock block;
  SRes res = LzmaEnc_SetProps(enc, &props);
  Byte properties[LZMA_PROPS_SIZE];
  SizeT propertiesSize = sizeof properties;
  if (res == SZ_OK) res = LzmaEnc_WriteProperties(enc, properties, &propertiesSize);
  std::vector<Byte> packed(header.size() + header.size() / 2 + 1024);
  SizeT packedSize = packed.size();
  if (res == SZ_OK)
    res = LzmaEnc_MemEncode(enc, packed.data(), &packedSize, reinterpret_cast<const Byte*>(header.data()),
                            header.size(), 0, nullptr, &kAlloc, &kAlloc);
  LzmaEnc_Destroy(enc, &kAlloc, &kAlloc);
  if (res != SZ_OK) throw PackError("the compressor failed on the archive's header with code " + std::to_string(res));
  block.properties.assign(reinterpret_cast<const char*>(properties), propertiesSize);
  block.packedSize = packedSize;
  out.append(reinterpret_cast<const char*>(packed.data()), packedSize);
  return block;
}

}  // namespace quillpack
