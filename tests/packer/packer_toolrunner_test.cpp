// Running a tool from quillpack.exe (signing will need it): the Windows
// side, CreateProcessW with the arguments quoted so the tool gets each one
// back whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "binary.h"
#include "testpaths.h"
#include "toolrunner.h"

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// What RunTool threw, or "" when it did not.
template <class Fn>
std::string Failure(Fn fn) {
  try {
    fn();
  } catch (const quillpack::PackError& e) {
    return e.what();
  }
  return std::string();
}

TEST(ToolRunner, ASucceedingToolThrowsNothing) {
  EXPECT_EQ("", Failure([] { quillpack::RunTool({"cmd", "/c", "exit 0"}, "C:/"); }));
}

TEST(ToolRunner, AFailingToolGivesItsExitCodeAndOutput) {
  const std::string what = Failure([] { quillpack::RunTool({"cmd", "/c", "echo tool said no & exit 3"}, "C:/"); });
  EXPECT_NE(std::string::npos, what.find("cmd failed with exit code 3")) << what;
  EXPECT_NE(std::string::npos, what.find("tool said no")) << what;
}

TEST(ToolRunner, AnArgumentWithBlanksQuotesAndBackslashesArrivesWhole) {
  // quillpack.exe itself, which splits its command line as C programs do,
  // names an unknown argument back.
  const std::string packer = Narrow(testsupport::BinPath(L"quillpack.exe"));
  const std::string odd = "two \"quoted\" words\\ and a\\\"b";
  const std::string what = Failure([&] { quillpack::RunTool({packer, odd}, "C:/"); });
  EXPECT_NE(std::string::npos, what.find("failed with exit code 2")) << what;
  EXPECT_NE(std::string::npos, what.find("unknown argument \"" + odd + "\"")) << what;
}

TEST(ToolRunner, AMissingToolSaysSo) {
  const std::string what = Failure([] { quillpack::RunTool({"no-such-tool-here"}, "C:/"); });
  EXPECT_NE(std::string::npos, what.find("cannot run no-such-tool-here")) << what;
  EXPECT_NE(std::string::npos, what.find("is it installed and on PATH?")) << what;
}

}  // namespace
