#include "cmdline.h"

#include <gtest/gtest.h>

using brix::CommandLineMap;

namespace {

std::wstring Value(const CommandLineMap& m, const std::wstring& key) {
  std::wstring v = L"<absent>";
  m.Lookup(key, &v);
  return v;
}

}  // namespace

TEST(CommandLineMap, SplitsOptionsAndUnquotesValues) {
  auto m = CommandLineMap::Build(
      L"\"C:\\Downloads\\setup.exe\" /InstallSlience true /InstallPath \"D:\\My Apps\" /InstallListenWnd 1234");
  EXPECT_EQ(m.Entries().size(), 4u);
  EXPECT_EQ(Value(m, L"\"C:\\Downloads\\setup.exe\""), L"");
  EXPECT_EQ(Value(m, L"InstallSlience"), L"true");
  EXPECT_EQ(Value(m, L"InstallPath"), L"D:\\My Apps");
  EXPECT_EQ(Value(m, L"InstallListenWnd"), L"1234");
}

TEST(CommandLineMap, ProgramPathWithSpaceKeepsLoneQuote) {
  auto m = CommandLineMap::Build(L"\"C:\\Program Files\\setup.exe\" /InstallPath D:\\Apps");
  EXPECT_EQ(Value(m, L"\"C:\\Program"), L"Files\\setup.exe\"");
  EXPECT_EQ(Value(m, L"InstallPath"), L"D:\\Apps");
}

TEST(CommandLineMap, SlashAlwaysSplitsEvenInsideQuotes) {
  auto m = CommandLineMap::Build(L"setup.exe /InstallPath D:/Apps");
  EXPECT_EQ(Value(m, L"InstallPath"), L"D:");
  EXPECT_EQ(Value(m, L"Apps"), L"");
  auto q = CommandLineMap::Build(L"x /InstallPath \"D:/My Apps\"");
  EXPECT_EQ(Value(q, L"InstallPath"), L"\"D:");
  EXPECT_EQ(Value(q, L"My"), L"Apps\"");
}

TEST(CommandLineMap, LastOccurrenceWinsAndKeysAreCaseSensitive) {
  auto m = CommandLineMap::Build(L"x /InstallPath A /InstallPath B /installpath C");
  EXPECT_EQ(Value(m, L"InstallPath"), L"B");
  EXPECT_EQ(Value(m, L"installpath"), L"C");
  EXPECT_FALSE(CommandLineMap::Build(L"x /installpath C").Lookup(L"InstallPath"));
}

TEST(CommandLineMap, KeyWithoutValueIsPresentAndEmpty) {
  auto m = CommandLineMap::Build(L"x /InstallSlience");
  std::wstring v = L"unchanged";
  ASSERT_TRUE(m.Lookup(L"InstallSlience", &v));
  EXPECT_EQ(v, L"");
  EXPECT_FALSE(m.Lookup(L"InstallSilence"));
}

TEST(CommandLineMap, TrimsBlanksAndControlCodesButNot1Eand1F) {
  auto m = CommandLineMap::Build(L"x /A \t  v  \r\n/B \x1Ev\x1F");
  EXPECT_EQ(Value(m, L"A"), L"v");
  EXPECT_EQ(Value(m, L"B"), L"\x1Ev\x1F");
}

TEST(CommandLineMap, RemovesOnlyOneOuterQuotePair) {
  auto m = CommandLineMap::Build(L"x /A \"\"in \"side\"\" /B \"one end /C \"");
  EXPECT_EQ(Value(m, L"A"), L"\"in \"side\"");
  EXPECT_EQ(Value(m, L"B"), L"\"one end");
  EXPECT_EQ(Value(m, L"C"), L"\"");  // a single quote is no pair
}

TEST(CommandLineMap, EmptyTokensAndLeadingSpaceKeys) {
  auto m = CommandLineMap::Build(L"///x// y/");
  EXPECT_EQ(Value(m, L"x"), L"");
  EXPECT_EQ(Value(m, L""), L"y");  // a token starting with a space has the empty key
  EXPECT_EQ(m.Entries().size(), 2u);
  EXPECT_TRUE(CommandLineMap::Build(L"").Entries().empty());
}
