// Message boxes: read once each, answered by button id. harness_child exits
// with the id MessageBoxW returned, which tells which button was pressed.
#include <atomic>

#include "childrun.h"

namespace {

using harnesstest::RunChild;

std::wstring Style(UINT style) { return std::to_wstring(style); }

harness::RunOptions Quick(harness::MessageBoxHandler handler = {}) {
  harness::RunOptions o;
  o.timeoutMs = 30000;
  o.onMessageBox = std::move(handler);
  return o;
}

TEST(HarnessMessageBox, CaptionTextAndButtonsAreRead) {
  REQUIRE_DISPLAY();
  const std::wstring caption = L"\x811A\x672C\x9519\x8BEF Script error";  // 脚本错误
  const std::wstring text = L"first line\nsecond \x4E2D\x6587 line";
  auto r = RunChild({L"box", caption, text, Style(MB_OKCANCEL | MB_ICONERROR)}, Quick());
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, caption);
  EXPECT_EQ(r.boxes[0].text, text);
  EXPECT_EQ(r.boxes[0].buttons, (std::vector<int>{IDOK, IDCANCEL}));
  EXPECT_EQ(r.boxes[0].pressed, IDOK);
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(IDOK));
  EXPECT_FALSE(r.timedOut);
}

struct PressCase {
  UINT style;
  int press;
  std::vector<int> buttons;
};

void PrintTo(const PressCase& c, std::ostream* os) {
  *os << "style " << c.style << " press " << harness::ToUtf8(harness::ButtonName(c.press));
}

class MessageBoxPress : public ::testing::TestWithParam<PressCase> {};

TEST_P(MessageBoxPress, TheAskedButtonIsPressed) {
  REQUIRE_DISPLAY();
  const PressCase& c = GetParam();
  auto r = RunChild({L"box", L"caption", L"text", Style(c.style)}, Quick(harness::Press(c.press)));
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].buttons, c.buttons);
  EXPECT_EQ(r.boxes[0].pressed, c.press);
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(c.press));
}

INSTANTIATE_TEST_SUITE_P(
    Harness, MessageBoxPress,
    ::testing::Values(PressCase{MB_OK, IDOK, {IDOK}}, PressCase{MB_OKCANCEL, IDCANCEL, {IDOK, IDCANCEL}},
                      PressCase{MB_ABORTRETRYIGNORE, IDABORT, {IDABORT, IDRETRY, IDIGNORE}},
                      PressCase{MB_ABORTRETRYIGNORE, IDRETRY, {IDABORT, IDRETRY, IDIGNORE}},
                      PressCase{MB_ABORTRETRYIGNORE, IDIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
                      PressCase{MB_YESNOCANCEL, IDYES, {IDCANCEL, IDYES, IDNO}},
                      PressCase{MB_YESNO, IDNO, {IDYES, IDNO}},
                      PressCase{MB_RETRYCANCEL, IDRETRY, {IDCANCEL, IDRETRY}}),
    [](const ::testing::TestParamInfo<PressCase>& i) {
      return "Style" + std::to_string(i.param.style) + "_" + harness::ToUtf8(harness::ButtonName(i.param.press));
    });

TEST(HarnessMessageBox, DefaultPressesOkWhenPresentElseCancel) {
  REQUIRE_DISPLAY();
  auto r = RunChild({L"box", L"a", L"ok or cancel", Style(MB_OKCANCEL), L"box", L"b", L"retry or cancel",
                     Style(MB_RETRYCANCEL)},
                    Quick());
  ASSERT_EQ(r.boxes.size(), 2u);
  EXPECT_EQ(r.boxes[0].pressed, IDOK);
  EXPECT_EQ(r.boxes[1].pressed, IDCANCEL);
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(IDCANCEL));
}

TEST(HarnessMessageBox, SeveralBoxesAreRecordedOnceEachInOrder) {
  REQUIRE_DISPLAY();
  int calls = 0;
  auto r = RunChild({L"trace-wide", L"t0", L"box", L"first", L"1", Style(MB_YESNO), L"trace-wide", L"t1",
                     L"trace-wide", L"t2", L"box", L"second", L"2", Style(MB_ABORTRETRYIGNORE)},
                    Quick([&](const harness::MessageBoxRecord& b) {
                      ++calls;
                      return b.caption == L"first" ? IDYES : IDIGNORE;
                    }));
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(r.boxes.size(), 2u);
  EXPECT_EQ(r.boxes[0].caption, L"first");
  EXPECT_EQ(r.boxes[0].tracesBefore, 1u);
  EXPECT_EQ(r.boxes[1].caption, L"second");
  EXPECT_EQ(r.boxes[1].tracesBefore, 3u);
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(IDIGNORE));
}

TEST(HarnessMessageBox, ABoxLeftAloneIsRecordedOnceAndTimesOut) {
  REQUIRE_DISPLAY();
  std::atomic<int> calls{0};
  harness::RunOptions o = Quick([&](const harness::MessageBoxRecord&) {
    ++calls;
    return 0;
  });
  o.timeoutMs = 1500;
  auto r = RunChild({L"box", L"stays", L"nobody answers", Style(MB_OK)}, o);
  EXPECT_TRUE(r.timedOut);
  EXPECT_EQ(calls.load(), 1);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].pressed, 0);
}

}  // namespace
