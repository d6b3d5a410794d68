// DecodeAhead gives every file's bytes in archive order, with its helper
// threads or without them, across many solid blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "extracttest.h"
#include "openedarchive.h"
#include "functions/extract/archivesource.h"
#include "functions/extract/decodeahead.h"
#include "lzma/7zCrc.h"
#include "testpaths.h"

namespace {

using extracttest::kAlloc;

// many.7z (twelve files f00..f11, one block each) opened from memory.
using Many = extracttest::OpenedArchive;

std::string Content(UInt32 i) {
  const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
  std::string s;
  for (int line = 1; line <= 200; ++line) s += "file " + n + " line " + std::to_string(line) + "\n";
  return s;
}

class DecodeAheadModes : public ::testing::TestWithParam<bool> {};

}  // namespace

TEST_P(DecodeAheadModes, GivesEveryFileInOrder) {
  Many m(testsupport::ReadFileBytes(extracttest::Fixture(L"many.7z")));
  ASSERT_EQ(m.opened, SZ_OK);
  ASSERT_EQ(m.db.NumFiles, 12u);
  brix::DecodeAhead ahead(&m.db, {&m.a.look.vt, &m.b.look.vt}, &kAlloc, GetParam());
  for (UInt32 i = 0; i < m.db.NumFiles; ++i) {
    ahead.Release(i);
    const Byte* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(ahead.Get(i, &data, &size), SZ_OK) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), Content(i)) << i;
  }
}

TEST_P(DecodeAheadModes, ItemsPassedOverAndErrorsLaterOn) {
  std::string bytes = testsupport::ReadFileBytes(extracttest::Fixture(L"many.7z"));
  bytes[bytes.find("file 10 line 100") + 2] ^= 0x20;
  Many m(bytes);
  ASSERT_EQ(m.opened, SZ_OK);
  brix::DecodeAhead ahead(&m.db, {&m.a.look.vt, &m.b.look.vt}, &kAlloc, GetParam());
  const Byte* data = nullptr;
  size_t size = 0;
  for (UInt32 i = 1; i < 10; i += 2) {  // every second item only
    ahead.Release(i);
    ASSERT_EQ(ahead.Get(i, &data, &size), SZ_OK) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), Content(i)) << i;
  }
  ahead.Release(11);
  EXPECT_EQ(ahead.Get(11, &data, &size), SZ_ERROR_CRC);  // item 10 was damaged
}

TEST_P(DecodeAheadModes, EndingEarlyWhileBlocksAreInFlight) {
  Many m(testsupport::ReadFileBytes(extracttest::Fixture(L"many.7z")));
  auto ahead = std::make_unique<brix::DecodeAhead>(&m.db, std::vector<ILookInStreamPtr>{&m.a.look.vt, &m.b.look.vt},
                                                   &kAlloc, GetParam());
  const Byte* data = nullptr;
  size_t size = 0;
  EXPECT_EQ(ahead->Get(0, &data, &size), SZ_OK);
  ahead.reset();
}

INSTANTIATE_TEST_SUITE_P(Threads, DecodeAheadModes, ::testing::Values(true, false));
