// The packer converts times and reads PE headers with its own code, so the
// native packer on Linux writes what quillpack.exe writes. Here that code is
// held against what Windows itself answers for the same input.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "binary.h"
#include "filebytes.h"
#include "peresources.h"
#include "sourcedate.h"
#include "testpaths.h"
#include "zipwriter.h"

namespace {

uint64_t Ticks(const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

uint64_t TicksOf(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME s{};
  s.wYear = year, s.wMonth = month, s.wDay = day, s.wHour = hour, s.wMinute = minute, s.wSecond = second;
  FILETIME t{};
  EXPECT_TRUE(SystemTimeToFileTime(&s, &t));
  return Ticks(t);
}

TEST(DosTimes, AgreeWithWindowsAcrossTheirWholeRange) {
  const uint64_t first = TicksOf(1980, 1, 1, 0, 0, 0), last = TicksOf(2107, 12, 31, 23, 59, 59);
  std::mt19937_64 random(1980);
  std::uniform_int_distribution<uint64_t> pick(first, last);
  // Both ends, the leap days, the turn of a century and random times.
  std::vector<uint64_t> times{first, last, TicksOf(2000, 2, 29, 12, 0, 1), TicksOf(2100, 3, 1, 0, 0, 0),
                              TicksOf(2024, 12, 31, 23, 59, 58)};
  for (int i = 0; i < 2000; ++i) times.push_back(pick(random));
  for (uint64_t t : times) {
    FILETIME ft{DWORD(t), DWORD(t >> 32)};
    WORD date = 0, time = 0;
    ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
    uint16_t ourDate = 0, ourTime = 0;
    quillpack::DosDateTime(t, ourDate, ourTime);
    ASSERT_EQ(date, ourDate) << "ticks " << t;
    ASSERT_EQ(time, ourTime) << "ticks " << t;
  }
}

TEST(DosTimes, TimesOutsideTheirRangeAreHeldToItsEnds) {
  uint16_t date = 0, time = 0;
  quillpack::DosDateTime(TicksOf(1979, 12, 31, 23, 59, 59), date, time);
  EXPECT_EQ((0 << 9 | 1 << 5 | 1), date);
  EXPECT_EQ(0, time);
  quillpack::DosDateTime(0, date, time);  // 1601
  EXPECT_EQ((0 << 9 | 1 << 5 | 1), date);
  quillpack::DosDateTime(TicksOf(2108, 1, 1, 0, 0, 0), date, time);
  EXPECT_EQ((127 << 9 | 12 << 5 | 31), date);
  EXPECT_EQ((23 << 11 | 59 << 5 | 29), time);
}

TEST(SourceDateEpoch, SecondsSince1970AreTheFileTimeWindowsGives) {
  EXPECT_EQ(TicksOf(1970, 1, 1, 0, 0, 0), quillpack::ParseSourceDateEpoch("0").latest);
  EXPECT_EQ(TicksOf(2023, 11, 14, 22, 13, 20), quillpack::ParseSourceDateEpoch("1700000000").latest);
  EXPECT_EQ(TicksOf(9999, 12, 31, 23, 59, 59), quillpack::ParseSourceDateEpoch("253402300799").latest);
  EXPECT_FALSE(quillpack::ParseSourceDateEpoch(nullptr).latest);
  EXPECT_FALSE(quillpack::ParseSourceDateEpoch("").latest);
}

TEST(SourceDateEpoch, AnythingButWholeSecondsUpToYear9999IsRefused) {
  for (const char* bad : {"253402300800", "-1", "+5", " 5", "5 ", "1e9", "1700000000.5", "0x10",
                          "99999999999999999999999"}) {
    EXPECT_THROW(quillpack::ParseSourceDateEpoch(bad), quillpack::PackError) << bad;
  }
}

TEST(SourceDateEpoch, OnlyLaterTimesAreHeldBack) {
  const quillpack::TimeLimit limit = quillpack::ParseSourceDateEpoch("1700000000");
  const uint64_t at = *limit.latest;
  EXPECT_EQ(at - 1, limit.Clamp(at - 1));
  EXPECT_EQ(at, limit.Clamp(at + 10000000));
  EXPECT_EQ(12345u, quillpack::TimeLimit().Clamp(12345));
}

// The machine the packer reads matches the binary type Windows reports,
// for both stubs of this build.
TEST(StubMachine, IsTheBinaryTypeWindowsSees) {
  for (const wchar_t* name : {L"brixsetup_stub.exe", L"brixuninst_stub.exe"}) {
    const std::wstring path = testsupport::BinPath(name);
    DWORD type = 0;
    ASSERT_TRUE(GetBinaryTypeW(path.c_str(), &type)) << testsupport::FileExists(path);
    const uint16_t machine = quillpack::StubMachine(quillpack::ReadFileBytes(std::string(path.begin(), path.end())));
    EXPECT_EQ(type == SCS_64BIT_BINARY ? 0x8664 : 0x14C, machine);
    EXPECT_EQ(sizeof(void*) == 8 ? 0x8664 : 0x14C, machine) << "a stub of this build's machine";
  }
  EXPECT_THROW(quillpack::StubMachine("MZ but nothing else"), quillpack::PackError);
}

}  // namespace
