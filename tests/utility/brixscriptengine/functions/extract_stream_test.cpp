// Blocks of the chains the packer makes (LZMA or LZMA2, alone or behind the
// x86 filter) are decoded as a stream, a piece at a time: every chain
// unpacks byte for byte, a damaged block fails the file it damages and keeps
// the ones before it, the decoder holds its window and never the block, and
// other chains are still decoded whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "extracttest.h"
#include "openedarchive.h"
#include "functions/extract/archivesource.h"
#include "functions/extract/decodeahead.h"
#include "functions/extract/folderstream.h"
#include "lzma/7zCrc.h"
#include "testpaths.h"

using extracttest::Fixture;
using extracttest::Listing;
using extracttest::Lit;
using extracttest::Numbers;
using extracttest::Script;
using testsupport::FileExists;
using testsupport::ReadFileBytes;

namespace {

using extracttest::kAlloc;

// Counts what is asked of it, from any thread: the most held at once.
struct Counting {
  static std::mutex guard;
  static size_t now, peak;
  static void* Alloc(ISzAllocPtr, size_t n) {
    if (!n) return nullptr;
    auto* p = static_cast<size_t*>(std::malloc(n + 16));
    if (!p) return nullptr;
    *p = n;
    std::lock_guard<std::mutex> lock(guard);
    now += n;
    if (now > peak) peak = now;
    return reinterpret_cast<char*>(p) + 16;
  }
  static void Free(ISzAllocPtr, void* a) {
    if (!a) return;
    auto* p = reinterpret_cast<size_t*>(static_cast<char*>(a) - 16);
    {
      std::lock_guard<std::mutex> lock(guard);
      now -= *p;
    }
    std::free(p);
  }
};
std::mutex Counting::guard;
size_t Counting::now = 0;
size_t Counting::peak = 0;
const ISzAlloc kCounting = {Counting::Alloc, Counting::Free};

using Opened = extracttest::OpenedArchive;

// calls.bin as makearchives.sh makes it.
std::string Calls() {
  std::string s = Numbers(900000);
  for (char& c : s) c = c == '1' ? '\xE8' : c == '\n' ? '\0' : c;
  return s.substr(0, 5242887);
}

// A copy of `archive` with one byte in the middle of its packed streams
// changed (they lie between the 32-byte start header and the header the
// start header points to).
std::string DamagedInTheMiddle(std::string archive) {
  UInt64 next = 0;
  for (int i = 7; i >= 0; --i) next = next << 8 | static_cast<Byte>(archive[12 + i]);
  archive[32 + next / 2] ^= 0x55;
  return archive;
}

// Item `item` through Next: its bytes, how many pieces and the largest.
struct Taken {
  SRes res = SZ_OK;
  std::string bytes;
  size_t pieces = 0;
  size_t largest = 0;
};
Taken Take(brix::DecodeAhead& ahead, UInt32 item) {
  Taken t;
  for (bool last = false; !last;) {
    const Byte* data = nullptr;
    size_t size = 0;
    t.res = ahead.Next(item, &data, &size, &last);
    if (t.res != SZ_OK) break;
    t.bytes.append(reinterpret_cast<const char*>(data), size);
    ++t.pieces;
    if (size > t.largest) t.largest = size;
  }
  return t;
}

class StreamedItems : public ::testing::TestWithParam<bool> {};

}  // namespace

TEST_P(StreamedItems, ALongFileComesInPiecesOfAtMostOnePieceAndWhole) {
  Opened o(ReadFileBytes(Fixture(L"chain_lzma2.7z")));  // its 1 MB window wraps round five times
  ASSERT_EQ(o.opened, SZ_OK);
  brix::DecodeAhead ahead(&o.db, o.Streams(), &kAlloc, GetParam());
  const Taken empty = Take(ahead, o.Find(L"empty.txt"));
  EXPECT_EQ(empty.res, SZ_OK);
  EXPECT_EQ(empty.bytes, "");
  const Taken calls = Take(ahead, o.Find(L"calls.bin"));
  ASSERT_EQ(calls.res, SZ_OK);
  EXPECT_TRUE(calls.bytes == Calls()) << "calls.bin differs";
  EXPECT_GE(calls.pieces, 5u);
  EXPECT_LE(calls.largest, brix::DecodeAhead::kPiece);
  const Taken notes = Take(ahead, o.Find(L"notes.txt"));
  EXPECT_EQ(notes.res, SZ_OK);
  EXPECT_EQ(notes.bytes, "chain notes\n");
}

TEST_P(StreamedItems, PassingOverAFileMidwayLeavesTheNextIntact) {
  Opened o(ReadFileBytes(Fixture(L"chain_bcj_lzma.7z")));
  ASSERT_EQ(o.opened, SZ_OK);
  brix::DecodeAhead ahead(&o.db, o.Streams(), &kAlloc, GetParam());
  const Byte* data = nullptr;
  size_t size = 0;
  bool last = true;
  ASSERT_EQ(ahead.Next(o.Find(L"calls.bin"), &data, &size, &last), SZ_OK);
  EXPECT_FALSE(last);
  EXPECT_EQ(Take(ahead, o.Find(L"notes.txt")).bytes, "chain notes\n");
}

TEST_P(StreamedItems, GetGivesAStreamedFileWhole) {
  Opened o(ReadFileBytes(Fixture(L"chain_mf_bcj.7z")));
  ASSERT_EQ(o.opened, SZ_OK);
  brix::DecodeAhead ahead(&o.db, o.Streams(), &kAlloc, GetParam());
  const Byte* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(ahead.Get(o.Find(L"calls.bin"), &data, &size), SZ_OK);
  EXPECT_TRUE(std::string(reinterpret_cast<const char*>(data), size) == Calls()) << "calls.bin differs";
}

TEST_P(StreamedItems, ADamagedFileFailsAfterItsFirstPiecesAndSoDoesEverythingAfterIt) {
  Opened o(DamagedInTheMiddle(ReadFileBytes(Fixture(L"crcmid.7z"))));
  ASSERT_EQ(o.opened, SZ_OK);
  brix::DecodeAhead ahead(&o.db, o.Streams(), &kAlloc, GetParam());
  EXPECT_EQ(Take(ahead, o.Find(L"a_first.dat")).bytes, "first\n");
  // The decoder holds at most kPieces pieces ahead, so the damage, found at
  // the end of this 6 MB file, shows only after pieces of it were taken.
  ASSERT_GT(6000000u, (brix::DecodeAhead::kPieces + 1) * brix::DecodeAhead::kPiece);
  const Taken big = Take(ahead, o.Find(L"b_big.dat"));
  EXPECT_EQ(big.res, SZ_ERROR_CRC);
  EXPECT_GE(big.pieces, 2u);
  EXPECT_LT(big.bytes.size(), 6000000u);
  EXPECT_EQ(Take(ahead, o.Find(L"c_last.dat")).res, SZ_ERROR_CRC);
}

TEST_P(StreamedItems, PassingOverADamagedFileStillFailsTheNext) {
  Opened o(DamagedInTheMiddle(ReadFileBytes(Fixture(L"crcmid.7z"))));
  ASSERT_EQ(o.opened, SZ_OK);
  brix::DecodeAhead ahead(&o.db, o.Streams(), &kAlloc, GetParam());
  EXPECT_EQ(Take(ahead, o.Find(L"a_first.dat")).res, SZ_OK);
  EXPECT_EQ(Take(ahead, o.Find(L"c_last.dat")).res, SZ_ERROR_CRC);
}

TEST_P(StreamedItems, EndingEarlyWhileAStreamIsInFlight) {
  Opened o(ReadFileBytes(Fixture(L"chain_lzma.7z")));
  auto ahead = std::make_unique<brix::DecodeAhead>(&o.db, o.Streams(), &kAlloc, GetParam());
  const Byte* data = nullptr;
  size_t size = 0;
  bool last = true;
  EXPECT_EQ(ahead->Next(o.Find(L"calls.bin"), &data, &size, &last), SZ_OK);
  ahead.reset();
}

TEST_P(StreamedItems, TheDecoderHoldsItsWindowAndAFewPiecesNotTheBlock) {
  const std::string expected = Numbers(1100000);
  ASSERT_GT(expected.size(), size_t(7) << 20);
  for (const wchar_t* name : {L"window.7z", L"window_delta.7z"}) {
    Opened o(ReadFileBytes(Fixture(name)));
    ASSERT_EQ(o.opened, SZ_OK);
    Counting::now = Counting::peak = 0;
    {
      brix::DecodeAhead ahead(&o.db, o.Streams(), &kCounting, GetParam());
      const Taken w = Take(ahead, o.Find(L"w.txt"));
      EXPECT_EQ(w.res, SZ_OK) << name;
      EXPECT_TRUE(w.bytes == expected) << name;
    }
    EXPECT_EQ(Counting::now, 0u) << name;
    const bool streamed = std::wstring(name) == L"window.7z";
    // A 256 KB window and four 1 MB pieces, against the whole 8 MB block
    // behind the delta filter.
    if (streamed)
      EXPECT_LT(Counting::peak, size_t(5) << 20) << name;
    else
      EXPECT_GE(Counting::peak, expected.size()) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, StreamedItems, ::testing::Values(true, false));

namespace {

struct Chain {
  const wchar_t* archive;
  bool streamed;
};

class Chains : public ::testing::TestWithParam<Chain> {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"unchain");
    dest_ = dir_ + L"\\dest";
    CreateDirectoryW(dest_.c_str(), nullptr);
  }
  void TearDown() override { testsupport::RemoveTree(dir_); }
  std::wstring dir_, dest_;
};

}  // namespace

TEST_P(Chains, UnpackByteForByteWithTheEmptyFileAndFolder) {
  EXPECT_EQ(Script("local n = 0 local ok = Lua_UnCompress7z(" + Lit(Fixture(GetParam().archive)) + ", " + Lit(dest_) +
                   ", true, function() n = n + 1 end) r = tostring(ok) .. ' ' .. n"),
            L"true 3");
  EXPECT_EQ(Listing(dest_), L"calls.bin|empty.txt|emptydir\\|notes.txt");
  EXPECT_TRUE(ReadFileBytes(dest_ + L"\\calls.bin") == Calls()) << "calls.bin differs";
  EXPECT_EQ(ReadFileBytes(dest_ + L"\\notes.txt"), "chain notes\n");
  EXPECT_EQ(ReadFileBytes(dest_ + L"\\empty.txt"), "");
}

TEST_P(Chains, OnlyThePackersChainsAreStreamed) {
  Opened o(ReadFileBytes(Fixture(GetParam().archive)));
  ASSERT_EQ(o.opened, SZ_OK);
  ASSERT_EQ(o.db.db.NumFolders, 1u);
  size_t window = 0;
  EXPECT_EQ(brix::FolderStream::Handles(&o.db, 0, &window), GetParam().streamed);
  if (GetParam().streamed) {
    EXPECT_GT(window, 0u);
    EXPECT_LE(window, SzAr_GetFolderUnpackSize(&o.db.db, 0));
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, Chains,
                         ::testing::Values(Chain{L"chain_lzma.7z", true}, Chain{L"chain_lzma2.7z", true},
                                           Chain{L"chain_bcj_lzma2.7z", true}, Chain{L"chain_bcj_lzma.7z", true},
                                           Chain{L"chain_mf_bcj.7z", true}, Chain{L"fallback_bcj2.7z", false},
                                           Chain{L"fallback_arm64.7z", false},
                                           Chain{L"fallback_delta.7z", false}));

namespace {

class StreamedUnpack : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"unstream");
    dest_ = dir_ + L"\\dest";
    CreateDirectoryW(dest_.c_str(), nullptr);
  }
  void TearDown() override { testsupport::RemoveTree(dir_); }
  // "<result> <files the progress callback heard>"
  std::wstring Unpack(const std::wstring& archive) {
    return Script("local n = 0 local ok = Lua_UnCompress7z(" + Lit(archive) + ", " + Lit(dest_) +
                  ", true, function() n = n + 1 end) r = tostring(ok) .. ' ' .. n");
  }
  std::wstring dir_, dest_;
};

}  // namespace

TEST_F(StreamedUnpack, ManySmallFilesOfOneSolidBlock) {
  EXPECT_EQ(Unpack(Fixture(L"manysmall.7z")), L"true 301");
  std::wstring listing = L"s\\|s\\empty.txt|s\\emptydir\\";
  for (int i = 0; i < 300; ++i) {
    wchar_t name[16];
    swprintf(name, 16, L"f%03d.txt", i);
    listing += L"|s\\" + std::wstring(name);
    char tag[8];
    snprintf(tag, sizeof tag, "s%03d ", i);
    std::string expected;
    for (int line = 1; line <= i % 37 + 1; ++line) expected += tag + std::to_string(line) + "\n";
    EXPECT_EQ(ReadFileBytes(dest_ + L"\\s\\" + name), expected) << i;
  }
  EXPECT_EQ(Listing(dest_), listing);
  EXPECT_EQ(ReadFileBytes(dest_ + L"\\s\\empty.txt"), "");
}

TEST_F(StreamedUnpack, ACrcErrorInTheMiddleOfABlockKeepsTheFilesBeforeAndLeavesNoneLookingComplete) {
  const std::wstring damaged = dir_ + L"\\damaged.7z";
  ASSERT_TRUE(testsupport::WriteFileBytes(damaged, DamagedInTheMiddle(ReadFileBytes(Fixture(L"crcmid.7z")))));
  EXPECT_EQ(Unpack(damaged), L"false 1");
  EXPECT_EQ(Listing(dest_), L"a_first.dat");
  EXPECT_EQ(ReadFileBytes(dest_ + L"\\a_first.dat"), "first\n");
  // Undamaged, the same block unpacks whole.
  EXPECT_EQ(Unpack(Fixture(L"crcmid.7z")), L"true 3");
  EXPECT_EQ(ReadFileBytes(dest_ + L"\\b_big.dat").size(), 6000000u);
}
