#include "zipwriter.h"

#include <zlib.h>

#include <algorithm>

namespace quillpack {
namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr uint16_t kMadeBy = 20;  // 2.0, MS-DOS: no host attributes
constexpr uint16_t kUtf8Names = 0x0800;

// Raw deflate (no zlib header), as ZIP stores it; empty when it does not
// come out smaller.
Bytes Deflated(const Bytes& data) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw PackError("zlib cannot start deflate");
  Bytes out(deflateBound(&z, uLong(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = uInt(out.size());
  const int res = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (res != Z_STREAM_END) throw PackError("zlib's deflate failed");
  return out.size() < data.size() ? out : Bytes();
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = int(doy - (153 * mp + 2) / 5 + 1);
  month = int(mp < 10 ? mp + 3 : mp - 9);
  year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

void DosDateTime(uint64_t mtime, uint16_t& date, uint16_t& time) {
  constexpr int64_t kEpochDelta = 11644473600;  // seconds from 1601 to 1970
  const int64_t seconds = int64_t(mtime / 10000000u) - kEpochDelta;
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t rest = seconds - days * 86400;
  int year, month, day;
  CivilFromDays(days, year, month, day);
  if (year < 1980) {
    year = 1980, month = 1, day = 1, rest = 0;
  } else if (year > 2107) {
    year = 2107, month = 12, day = 31, rest = 86399;
  }
  date = uint16_t((year - 1980) << 9 | month << 5 | day);
  time = uint16_t((rest / 3600) << 11 | (rest / 60 % 60) << 5 | (rest % 60) / 2);
}

// The fields a local header and its central directory entry share, from
// "version needed" to the (empty) extra field's length.
void ZipWriter::PutShared(Bytes& out, const Entry& e) {
  PutU16(out, e.method == kDeflated ? 20 : 10);  // version needed
  PutU16(out, e.flags);
  PutU16(out, e.method);
  PutU16(out, e.time);
  PutU16(out, e.date);
  PutU32(out, e.crc);
  PutU32(out, e.packedSize);
  PutU32(out, e.size);
  PutU16(out, uint16_t(e.name.size()));
  PutU16(out, 0);  // no extra field
}

void ZipWriter::Add(const std::string& name, const Bytes& data, uint64_t mtime) {
  if (entries_.size() == 0xFFFF) throw PackError(name + ": a ZIP archive without ZIP64 holds at most 65535 files");
  if (data.size() >= 0xFFFFFFFFull || out_.size() >= 0xFFFFFFFFull - data.size())
    throw PackError(name + ": too large for a ZIP archive without ZIP64 (4 GiB)");
  Entry e;
  e.name = name;
  const Bytes deflated = Deflated(data);
  const Bytes& stored = deflated.empty() ? data : deflated;
  e.method = deflated.empty() ? kStored : kDeflated;
  e.flags = std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })
                ? kUtf8Names
                : 0;
  DosDateTime(mtime, e.date, e.time);
  e.crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
  e.packedSize = uint32_t(stored.size());
  e.size = uint32_t(data.size());
  e.offset = uint32_t(out_.size());

  PutU32(out_, kLocalSignature);
  PutShared(out_, e);
  out_ += name;
  out_ += stored;
  entries_.push_back(e);
}

Bytes ZipWriter::Finish() {
  const size_t directory = out_.size();
  for (const Entry& e : entries_) {
    PutU32(out_, kCentralSignature);
    PutU16(out_, kMadeBy);
    PutShared(out_, e);
    PutU16(out_, 0);  // comment
    PutU16(out_, 0);  // disk
    PutU16(out_, 0);  // internal attributes
    PutU32(out_, 0);  // external attributes
    PutU32(out_, e.offset);
    out_ += e.name;
  }
  if (out_.size() >= 0xFFFFFFFFull) throw PackError("the skin archive is too large for ZIP without ZIP64 (4 GiB)");
  const size_t directorySize = out_.size() - directory;
  PutU32(out_, kEndSignature);
  PutU16(out_, 0);
  PutU16(out_, 0);
  PutU16(out_, uint16_t(entries_.size()));
  PutU16(out_, uint16_t(entries_.size()));
  PutU32(out_, uint32_t(directorySize));
  PutU32(out_, uint32_t(directory));
  PutU16(out_, 0);  // comment
  return std::move(out_);
}

}  // namespace quillpack
