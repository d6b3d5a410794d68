// quillrun: runs one program under the harness and prints what it saw, for
// looking at an installer by hand from a shell.
//
//   quillrun [--timeout <ms>] [--press ok|cancel|abort|retry|ignore|yes|no|none]
//            [--listen] [--listen-class <name>] [--] <program> [args...]
//
// Exit code 0 when the program ran to its end, 1 when it timed out or did
// not start, 2 for a bad command line.
#include "harness.h"

#include <shellapi.h>

#include <memory>
#include <string>

namespace {

// UTF-8 to a pipe or file; a console gets the wide text, so Chinese
// survives either way.
void Print(const std::wstring& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, done = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  std::string bytes = harness::ToUtf8(text);
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

void Fail(const std::wstring& text) {
  std::string bytes = harness::ToUtf8(text + L"\n");
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::wstring WithoutLineEnd(std::wstring s) {
  if (!s.empty() && s.back() == L'\n') s.pop_back();
  if (!s.empty() && s.back() == L'\r') s.pop_back();
  return s;
}

std::wstring Indented(const std::wstring& label, const std::wstring& text) {
  // One output line per text line, so a multi-line box text stays readable.
  std::wstring out;
  size_t pos = 0;
  do {
    size_t nl = text.find(L'\n', pos);
    std::wstring part = text.substr(pos, nl == std::wstring::npos ? std::wstring::npos : nl - pos);
    if (!part.empty() && part.back() == L'\r') part.pop_back();
    out += L"  " + label + L": " + part + L"\n";
    pos = nl == std::wstring::npos ? nl : nl + 1;
  } while (pos != std::wstring::npos);
  return out;
}

std::wstring DescribeBox(const harness::MessageBoxRecord& box) {
  std::wstring s = L"box: " + box.caption + L"\n" + Indented(L"text", box.text) + L"  buttons:";
  for (int id : box.buttons) s += L" " + harness::ButtonName(id);
  s += L"\n  pressed: " + (box.pressed ? harness::ButtonName(box.pressed) : std::wstring(L"none")) + L"\n";
  return s;
}

const wchar_t kUsage[] =
    L"usage: quillrun [--timeout <ms>] [--press ok|cancel|abort|retry|ignore|yes|no|none]\n"
    L"                [--listen] [--listen-class <name>] [--] <program> [args...]";

}  // namespace

int main() {
  int argc = 0;
  std::unique_ptr<wchar_t*, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &argc), LocalFree);
  if (!argv) return 2;

  harness::RunOptions options;
  bool listen = false;
  std::wstring listenClass;
  int i = 1;
  for (; i < argc; ++i) {
    std::wstring a = argv.get()[i];
    bool hasValue = i + 1 < argc;
    if (a == L"--") {
      ++i;
      break;
    } else if (a == L"--timeout" && hasValue) {
      options.timeoutMs = static_cast<DWORD>(wcstoul(argv.get()[++i], nullptr, 10));
    } else if (a == L"--press" && hasValue) {
      std::wstring name = argv.get()[++i];
      int id = name == L"none" ? 0 : harness::ButtonId(name);
      if (name != L"none" && id == 0) {
        Fail(L"quillrun: unknown button " + name + L"\n" + kUsage);
        return 2;
      }
      options.onMessageBox = harness::Press(id);
    } else if (a == L"--listen") {
      listen = true;
    } else if (a == L"--listen-class" && hasValue) {
      listen = true;
      listenClass = argv.get()[++i];
    } else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-') {
      Fail(L"quillrun: unknown option " + a + L"\n" + kUsage);
      return 2;
    } else {
      break;
    }
  }
  if (i >= argc) {
    Fail(kUsage);
    return 2;
  }
  std::vector<std::wstring> args(argv.get() + i, argv.get() + argc);

  std::unique_ptr<harness::ListeningWindow> listener;
  if (listen) {
    listener.reset(new harness::ListeningWindow(listenClass));
    if (!listener->Handle()) {
      Fail(L"quillrun: no listening window (error " + std::to_wstring(listener->CreateError()) +
           L"; is there a display?)");
      return 1;
    }
    args.push_back(L"/InstallListenWnd");
    args.push_back(std::to_wstring(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(listener->Handle()))));
  }
  options.commandLine = harness::BuildCommandLine(args);

  harness::RunResult r = harness::Run(options);
  if (!r.started) {
    Fail(L"quillrun: cannot start " + args[0] + L" (error " + std::to_wstring(r.startError) + L")");
    return 1;
  }

  // Boxes go between the trace lines that came before and after them.
  std::wstring report;
  size_t box = 0;
  for (size_t t = 0; t <= r.traces.size(); ++t) {
    for (; box < r.boxes.size() && r.boxes[box].tracesBefore <= t; ++box) report += DescribeBox(r.boxes[box]);
    if (t < r.traces.size()) report += L"trace: " + WithoutLineEnd(r.traces[t]) + L"\n";
  }
  if (listener) {
    listener->Destroy();
    for (const auto& m : listener->Messages())
      report += L"message: " + std::to_wstring(m.id) + L" wparam " + std::to_wstring(m.wParam) + L" lparam " +
                std::to_wstring(m.lParam) + L"\n";
  }
  if (r.timedOut) report += L"timed out after " + std::to_wstring(options.timeoutMs) + L" ms\n";
  report += L"exit code: " + std::to_wstring(r.exitCode) + L"\n";
  Print(report);
  return r.timedOut ? 1 : 0;
}
