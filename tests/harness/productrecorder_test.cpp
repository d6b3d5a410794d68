// The stand-in product records who started it, from where, with what.
#include "childrun.h"

namespace {

std::wstring OwnImageName() {
  wchar_t buf[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring p(buf);
  return p.substr(p.find_last_of(L'\\') + 1);
}

class HarnessProductRecorder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"hprod");
    ASSERT_FALSE(dir_.empty());
    exe_ = harnesstest::CopyProductTo(dir_);
    ASSERT_FALSE(exe_.empty());
  }
  void TearDown() override { testsupport::RemoveTree(dir_); }

  harness::RunResult Start(const std::vector<std::wstring>& args, const std::wstring& record = L"") {
    std::vector<std::wstring> line = {exe_};
    line.insert(line.end(), args.begin(), args.end());
    harness::RunOptions o;
    o.commandLine = harness::BuildCommandLine(line);
    o.workingDir = dir_;
    o.timeoutMs = 30000;
    if (!record.empty()) o.environment = {{L"QUILL_RECORD", record}};
    return harness::Run(o);
  }

  std::wstring dir_, exe_;
};

TEST_F(HarnessProductRecorder, RecordsCommandLineParentAndFolder) {
  const std::vector<std::wstring> args = {L"/from", L"the test", L"\x4E2D\x6587"};
  auto r = Start(args);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  auto starts = harness::ReadProductStarts(dir_ + L"\\started.txt");
  ASSERT_EQ(starts.size(), 1u);
  std::vector<std::wstring> line = {exe_};
  line.insert(line.end(), args.begin(), args.end());
  EXPECT_EQ(starts[0].commandLine, harness::BuildCommandLine(line));
  EXPECT_EQ(_wcsicmp(starts[0].parentImage.c_str(), OwnImageName().c_str()), 0) << starts[0].parentImage;
  EXPECT_EQ(starts[0].parentPid, GetCurrentProcessId());
  EXPECT_EQ(_wcsicmp(starts[0].currentDir.c_str(), dir_.c_str()), 0) << starts[0].currentDir;
}

TEST_F(HarnessProductRecorder, EachStartAppendsOneUtf8Line) {
  Start({L"first"});
  Start({L"second"});
  std::string bytes = testsupport::ReadFileBytes(dir_ + L"\\started.txt");
  size_t lines = 0;
  for (size_t p = bytes.find("\r\n"); p != std::string::npos; p = bytes.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, 2u);
  auto starts = harness::ReadProductStarts(dir_ + L"\\started.txt");
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_NE(starts[0].commandLine.find(L"first"), std::wstring::npos);
  EXPECT_NE(starts[1].commandLine.find(L"second"), std::wstring::npos);
}

TEST_F(HarnessProductRecorder, AlsoWritesTheFileNamedByQuillRecord) {
  std::wstring other = testsupport::MakeTempDir(L"hrec");
  std::wstring record = other + L"\\\x8BB0\x5F55.txt";  // a Chinese file name, as a product folder may have
  Start({L"x"}, record);
  EXPECT_EQ(testsupport::ReadFileBytes(record), testsupport::ReadFileBytes(dir_ + L"\\started.txt"));
  EXPECT_EQ(harness::ReadProductStarts(record).size(), 1u);
  testsupport::RemoveTree(other);
}

}  // namespace
