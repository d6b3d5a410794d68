#include "tambaselog.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "strconv.h"
#include "testpaths.h"

namespace {

SYSTEMTIME Day(int y, int m, int d) {
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  return t;
}

class OldLogs : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempDir(L"logs"); }
  void TearDown() override { testsupport::RemoveTree(dir_); }
  void Touch(const std::string& name) { testsupport::WriteFileBytes(dir_ + L"\\" + brix::ToWide(name.c_str()), "x"); }
  std::set<std::string> Left() {
    std::set<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir_ + L"\\*").c_str(), &fd);
    do {
      std::wstring n = fd.cFileName;
      if (n != L"." && n != L"..") names.insert(brix::ToNarrow(n.c_str()));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
  }
  void Remove(const SYSTEMTIME& today) {
    brix::RemoveOldLogs(brix::ToNarrow(dir_.c_str(), CP_THREAD_ACP), "QuillClientInstall", today);
  }
  std::wstring dir_;
};

}  // namespace

TEST_F(OldLogs, KeepsTodayAndYesterdayOnly) {
  Touch("QuillClientInstall_2024-04-28.log");
  Touch("QuillClientInstall_2024-04-29.log");
  Touch("QuillClientInstall_2024-04-30.log");
  Remove(Day(2024, 4, 30));
  EXPECT_EQ(Left(), (std::set<std::string>{"QuillClientInstall_2024-04-29.log", "QuillClientInstall_2024-04-30.log"}));
}

TEST_F(OldLogs, YesterdayAcrossMonthBoundary) {
  Touch("QuillClientInstall_2024-04-29.log");
  Touch("QuillClientInstall_2024-04-30.log");
  Touch("QuillClientInstall_2024-05-01.log");
  Remove(Day(2024, 5, 1));
  EXPECT_EQ(Left(), (std::set<std::string>{"QuillClientInstall_2024-04-30.log", "QuillClientInstall_2024-05-01.log"}));
}

TEST_F(OldLogs, YesterdayAcrossYearAndLeapDay) {
  Touch("QuillClientInstall_2024-12-30.log");
  Touch("QuillClientInstall_2024-12-31.log");
  Remove(Day(2025, 1, 1));
  EXPECT_EQ(Left(), (std::set<std::string>{"QuillClientInstall_2024-12-31.log"}));
  Touch("QuillClientInstall_2024-02-29.log");
  Touch("QuillClientInstall_2024-02-28.log");
  Remove(Day(2024, 3, 1));
  EXPECT_TRUE(Left().count("QuillClientInstall_2024-02-29.log"));
  EXPECT_FALSE(Left().count("QuillClientInstall_2024-02-28.log"));
}

TEST_F(OldLogs, RemovesOtherFilesOfTheNameButNotTheBaseOrOtherNames) {
  Touch("QuillClientInstall_old.txt");
  Touch("QuillClientInstall.log");
  Touch("OtherName_2024-04-01.log");
  Touch("QuillClientInstallX_2024-04-01.log");
  Remove(Day(2024, 4, 30));
  EXPECT_EQ(Left(), (std::set<std::string>{"QuillClientInstall.log", "OtherName_2024-04-01.log",
                                           "QuillClientInstallX_2024-04-01.log"}));
}

TEST(OldLogName, FormatsWithoutPaddingTheYear) {
  EXPECT_EQ(brix::OldLogName("N", 2024, 5, 1), "N_2024-05-01.log");
  EXPECT_EQ(brix::OldLogName("N", 999, 12, 31), "N_999-12-31.log");
}

TEST(Logger, WritesDailyFileWithPatternAndLocation) {
  std::wstring dir = testsupport::MakeTempDir(L"logger");
  std::string base = brix::ToNarrow((dir + L"\\QuillClientInstall.log").c_str(), CP_THREAD_ACP);
  auto& log = brix::CTamBaseLog::Instance();
  log.InitLogger(base);
  ASSERT_TRUE(log.Logger());
  BRIX_LOG_INFO("log:{}", "hello");
  log.Logger()->debug("dropped");
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string file = brix::OldLogName("QuillClientInstall", now.wYear, now.wMonth, now.wDay);
  std::string text = testsupport::ReadFileBytes(dir + L"\\" + brix::ToWide(file.c_str()));
  EXPECT_NE(text.find("] [info] ["), std::string::npos) << text;
  EXPECT_NE(text.find("[tambaselog_test.cpp TestBody: "), std::string::npos) << text;
  EXPECT_NE(text.find("] log:hello"), std::string::npos) << text;
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  spdlog::drop_all();
  testsupport::RemoveTree(dir);
}
