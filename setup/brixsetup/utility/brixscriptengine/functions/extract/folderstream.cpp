#include "folderstream.h"

#include <cstring>

#include "lzma/7zCrc.h"
#include "lzma/Bra.h"

namespace brix {
namespace {

constexpr UInt32 kLzma = 0x30101;
constexpr UInt32 kLzma2 = 0x21;
constexpr UInt32 kX86 = 0x3030103;  // the single-stream filter, not BCJ2
constexpr UInt32 kMinDictionary = 1 << 12;  // what LzmaProps_Decode makes of less

bool IsLzma(const CSzCoderInfo& c) { return c.NumStreams == 1 && (c.MethodID == kLzma || c.MethodID == kLzma2); }

// The block's coders as 7zDec.c reads them; false if they do not parse.
bool ReadFolder(const CSzArEx* db, UInt32 folder, CSzFolder* f) {
  const CSzAr& ar = db->db;
  CSzData sd;
  sd.Data = ar.CodersData + ar.FoCodersOffsets[folder];
  sd.Size = ar.FoCodersOffsets[folder + 1] - ar.FoCodersOffsets[folder];
  return SzGetNextFolderItem(f, &sd) == SZ_OK && sd.Size == 0 && f->UnpackStream == ar.FoToMainUnpackSizeIndex[folder];
}

// A coder's properties: PropsOffset counts from the block's own coder
// record, as in 7zDec.c.
const Byte* PropsOf(const CSzArEx* db, UInt32 folder, const CSzCoderInfo& c) {
  return db->db.CodersData + db->db.FoCodersOffsets[folder] + c.PropsOffset;
}

// The dictionary the coder's properties ask for; 0 when they are unusable.
UInt64 DictionaryOf(const CSzArEx* db, UInt32 folder, const CSzCoderInfo& c) {
  const Byte* props = PropsOf(db, folder, c);
  UInt64 size;
  if (c.MethodID == kLzma2) {
    if (c.PropsSize != 1 || props[0] > 40) return 0;
    size = props[0] == 40 ? 0xFFFFFFFFu : (UInt64(2 | (props[0] & 1)) << (props[0] / 2 + 11));
  } else {
    if (c.PropsSize < LZMA_PROPS_SIZE) return 0;
    size = UInt32(props[1]) | UInt32(props[2]) << 8 | UInt32(props[3]) << 16 | UInt32(props[4]) << 24;
  }
  return size < kMinDictionary ? kMinDictionary : size;
}

// The decoder never reaches back further than its dictionary, nor before
// the block's first byte: a window of the smaller of the two never wraps
// onto bytes it still needs.
size_t WindowFor(UInt64 dictionary, UInt64 total) {
  UInt64 w = dictionary < total ? dictionary : total;
  if (w == 0) w = 1;
  return static_cast<size_t>(w) == w ? static_cast<size_t>(w) : 0;
}

}  // namespace

bool FolderStream::Handles(const CSzArEx* db, UInt32 folder, size_t* window) {
  *window = 0;
  CSzFolder f;
  if (!ReadFolder(db, folder, &f)) return false;
  if (f.NumPackStreams != 1 || f.PackStreams[0] != 0 || !IsLzma(f.Coders[0])) return false;
  if (f.NumCoders == 2) {
    const CSzCoderInfo& filter = f.Coders[1];
    if (filter.MethodID != kX86 || filter.NumStreams != 1 || filter.PropsSize != 0 || f.NumBonds != 1 ||
        f.Bonds[0].InIndex != 1 || f.Bonds[0].OutIndex != 0)
      return false;
  } else if (f.NumCoders != 1 || f.NumBonds != 0) {
    return false;
  }
  const UInt64 dictionary = DictionaryOf(db, folder, f.Coders[0]);
  if (dictionary) *window = WindowFor(dictionary, SzAr_GetFolderUnpackSize(&db->db, folder));
  return true;
}

FolderStream::FolderStream(const CSzArEx* db, UInt32 folder, ILookInStreamPtr stream, ISzAllocPtr alloc)
    : db_(db), folder_(folder), stream_(stream), alloc_(alloc) {
  LzmaDec_CONSTRUCT(&lzma_);
  Lzma2Dec_CONSTRUCT(&lzma2_);
  crc_ = CRC_INIT_VAL;
  filterState_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
}

FolderStream::~FolderStream() {
  LzmaDec_FreeProbs(&lzma_, alloc_);
  Lzma2Dec_FreeProbs(&lzma2_, alloc_);
  ISzAlloc_Free(alloc_, window_);
}

SRes FolderStream::Start() {
  CSzFolder f;
  if (!ReadFolder(db_, folder_, &f)) return SZ_ERROR_UNSUPPORTED;
  const CSzCoderInfo& coder = f.Coders[0];
  const Byte* props = PropsOf(db_, folder_, coder);
  isLzma2_ = coder.MethodID == kLzma2;
  filter_ = f.NumCoders == 2;
  total_ = SzAr_GetFolderUnpackSize(&db_->db, folder_);

  if (isLzma2_) {
    if (coder.PropsSize != 1) return SZ_ERROR_DATA;  // as 7zDec.c answers it
    RINOK(Lzma2Dec_AllocateProbs(&lzma2_, props[0], alloc_))
    dec_ = &lzma2_.decoder;
  } else {
    RINOK(LzmaDec_AllocateProbs(&lzma_, props, coder.PropsSize, alloc_))
    dec_ = &lzma_;
  }
  const size_t window = WindowFor(dec_->prop.dicSize, total_);
  if (window == 0) return SZ_ERROR_MEM;
  window_ = static_cast<Byte*>(ISzAlloc_Alloc(alloc_, window));
  if (!window_) return SZ_ERROR_MEM;
  dec_->dic = window_;
  dec_->dicBufSize = window;
  if (isLzma2_)
    Lzma2Dec_Init(&lzma2_);
  else
    LzmaDec_Init(&lzma_);

  const UInt32 pack = db_->db.FoStartPackStreamIndex[folder_];
  const UInt64 offset = db_->db.PackPositions[pack];
  packLeft_ = db_->db.PackPositions[pack + 1] - offset;
  return LookInStream_SeekTo(stream_, db_->dataPos + offset);
}

SRes FolderStream::Step(Byte* out, size_t want, size_t* got) {
  *got = 0;
  const UInt64 left = total_ - coded_;
  if (left != 0 && dec_->dicPos == dec_->dicBufSize) dec_->dicPos = 0;
  const SizeT start = dec_->dicPos;
  UInt64 limit = dec_->dicBufSize - start;
  if (limit > want) limit = want;
  if (limit > left) limit = left;
  // The end of the block is asked for as 7zDec.c asks for it; pieces before
  // it may stop anywhere.
  const ELzmaFinishMode mode = limit == left ? LZMA_FINISH_END : LZMA_FINISH_ANY;

  const void* in = nullptr;
  size_t look = 1 << 18;
  if (look > packLeft_) look = static_cast<size_t>(packLeft_);
  RINOK(ILookInStream_Look(stream_, &in, &look))
  SizeT taken = look;
  ELzmaStatus status;
  const SizeT dicLimit = start + static_cast<SizeT>(limit);
  const Byte* src = static_cast<const Byte*>(in);
  const SRes res = isLzma2_ ? Lzma2Dec_DecodeToDic(&lzma2_, dicLimit, src, &taken, mode, &status)
                            : LzmaDec_DecodeToDic(&lzma_, dicLimit, src, &taken, mode, &status);
  packLeft_ -= taken;
  const size_t produced = dec_->dicPos - start;
  std::memcpy(out, window_ + start, produced);
  coded_ += produced;
  *got = produced;
  if (res != SZ_OK) return res;

  if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
    if (coded_ != total_ || packLeft_ != 0) return SZ_ERROR_DATA;
    ended_ = true;
    return SZ_OK;
  }
  if (!isLzma2_ && coded_ == total_ && packLeft_ == 0 && status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK) {
    ended_ = true;
    return SZ_OK;
  }
  if (taken == 0 && produced == 0) return SZ_ERROR_DATA;
  return ILookInStream_Skip(stream_, taken);
}

SRes FolderStream::Read(Byte* out, size_t capacity, size_t* size) {
  *size = 0;
  if (error_ != SZ_OK) return error_;
  if (capacity < 16) return SZ_ERROR_PARAM;
  if (!started_) {
    started_ = true;
    if (const SRes res = Start()) return Fail(res);
  }
  size_t filled = heldSize_;
  std::memcpy(out, held_, heldSize_);
  heldSize_ = 0;
  // Fill the piece; once the last byte is decoded, go on until the packed
  // stream is seen to end, so no piece ends the block unchecked.
  while (!ended_ && (filled < capacity || coded_ == total_)) {
    size_t got = 0;
    const SRes res = Step(out + filled, capacity - filled, &got);
    filled += got;
    if (res != SZ_OK) return Fail(res);
  }

  size_t ready = filled;
  if (filter_) {
    const Byte* converted = z7_BranchConvSt_X86_Dec(out, filled, filterPc_, &filterState_);
    if (!ended_) {
      ready = static_cast<size_t>(converted - out);
      heldSize_ = filled - ready;  // at most four
      std::memcpy(held_, out + ready, heldSize_);
      filterPc_ += static_cast<UInt32>(ready);
    }
    // At the end the last few bytes stay as they are, as in 7zDec.c.
  }
  crc_ = CrcUpdate(crc_, out, ready);
  if (ended_ && SzBitWithVals_Check(&db_->db.FolderCRCs, folder_) &&
      CRC_GET_DIGEST(crc_) != db_->db.FolderCRCs.Vals[folder_])
    return Fail(SZ_ERROR_CRC);
  *size = ready;
  return SZ_OK;
}

}  // namespace brix
