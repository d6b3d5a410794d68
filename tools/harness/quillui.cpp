// quillui: looks at and drives a skinned window of another process from a
// shell, the way the tests do through UiDriver.
//
//   quillui <window class> [--title <text>] list
//   quillui <window class> [--title <text>] click|press|action <name>
//   quillui <window class> [--title <text>] type <name> <text>
//   quillui <window class> [--title <text>] wait <name> [<seconds>]
//   quillui <window class> [--title <text>] waitrole <role> [<seconds>]
//   quillui <window class> [--title <text>] shot <file.png>
//
// waitrole waits for a visible element of a role as `list` names it ("progress
// bar"). The waits also give the window itself that long to appear (other
// commands 5 s). Exit code 0 on success, 1 when the window or the control was
// not found (or the wait ran out), 2 for a bad command line.
#include <objbase.h>

#include <string>
#include <vector>

#include "harness.h"
#include "uidriver.h"

namespace {

void Print(const std::wstring& text) {
  const std::string bytes = harness::ToUtf8(text);
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

int Usage() {
  Print(L"usage: quillui <window class> [--title text] list | click|press|action <name> | type <name> <text> |\n"
        L"       wait <name> [seconds] | waitrole <role> [seconds] | shot <file.png>\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  const std::wstring cls = args[0];
  std::wstring title;
  size_t i = 1;
  if (args[i] == L"--title") {
    if (args.size() < 4) return Usage();
    title = args[i + 1];
    i += 2;
  }
  const std::wstring cmd = args[i];
  const std::vector<std::wstring> rest(args.begin() + static_cast<long>(i) + 1, args.end());
  const bool waits = (cmd == L"wait" || cmd == L"waitrole") && !rest.empty();
  const DWORD waitMs = waits && rest.size() > 1 ? static_cast<DWORD>(_wtoi(rest[1].c_str())) * 1000 : 10000;
  const ULONGLONG start = GetTickCount64();
  CoInitialize(nullptr);
  HWND w = harness::UiDriver::WaitForWindow(cls, title, waits ? waitMs : 5000);
  if (!w) {
    Print(L"quillui: no window of class " + cls + L"\n");
    return 1;
  }
  harness::UiDriver ui(w);
  if (!ui.Connected()) {
    Print(L"quillui: the window serves no IAccessible\n");
    return 1;
  }
  bool ok = false;
  if (cmd == L"list") {
    for (const auto& e : ui.List()) {
      wchar_t line[160];
      swprintf(line, 160, L"%3ld  %-14ls [%ld,%ld,%ld,%ld] ", e.childId, harness::RoleName(e.role).c_str(),
               e.location.left, e.location.top, e.location.right, e.location.bottom);
      std::wstring text = line + std::wstring(L"\"") + e.name + L"\"";
      if (!e.value.empty()) text += L" = \"" + e.value + L"\"";
      const std::wstring state = harness::StateText(e.state);
      if (!state.empty()) text += L" (" + state + L")";
      Print(text + L"\n");
    }
    ok = true;
  } else if ((cmd == L"click" || cmd == L"press" || cmd == L"action") && rest.size() == 1) {
    ok = cmd == L"click" ? ui.Click(rest[0]) : cmd == L"press" ? ui.PressByKeyboard(rest[0]) : ui.DoDefaultAction(rest[0]);
  } else if (cmd == L"type" && rest.size() == 2) {
    ok = ui.Type(rest[0], rest[1]);
  } else if (waits) {
    const ULONGLONG spent = GetTickCount64() - start;
    const DWORD left = spent < waitMs ? static_cast<DWORD>(waitMs - spent) : 0;
    if (cmd == L"wait") {
      ok = ui.WaitForElement(rest[0], 0, left);
    } else {
      ok = ui.WaitFor(
          [&](const std::vector<harness::UiElement>& list) {
            for (const auto& e : list)
              if (e.visible() && harness::RoleName(e.role) == rest[0]) return true;
            return false;
          },
          left);
    }
  } else if (cmd == L"shot" && rest.size() == 1) {
    ok = ui.SaveScreenshot(rest[0]);
  } else {
    CoUninitialize();
    return Usage();
  }
  if (!ok) Print(L"quillui: " + cmd + L" failed\n");
  CoUninitialize();
  return ok ? 0 : 1;
}
