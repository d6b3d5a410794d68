// Message boxes of the program under test: found by class and process id,
// answered by button id (button texts follow the locale).
#include "boxwatcher.h"

#include <chrono>

namespace harness {
namespace {

constexpr int kDialogTextId = 0xFFFF;  // the static text of a message box
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// A click posted while the box is still settling can get lost; a box that
// is still up this long after its click gets the click again.
constexpr ULONGLONG kPressAgainMs = 1000;

// Every button a message box can carry.
constexpr int kButtonIds[] = {IDOK,   IDCANCEL, IDABORT, IDRETRY,    IDIGNORE,  IDYES,
                              IDNO,   IDCLOSE,  IDHELP,  IDTRYAGAIN, IDCONTINUE};

struct Names {
  int id;
  const wchar_t* name;
};
constexpr Names kNames[] = {{IDOK, L"ok"},       {IDCANCEL, L"cancel"},     {IDABORT, L"abort"},
                            {IDRETRY, L"retry"}, {IDIGNORE, L"ignore"},     {IDYES, L"yes"},
                            {IDNO, L"no"},       {IDCLOSE, L"close"},       {IDHELP, L"help"},
                            {IDTRYAGAIN, L"tryagain"}, {IDCONTINUE, L"continue"}};

struct Search {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid) return TRUE;
  wchar_t cls[16] = {};
  if (GetClassNameW(hwnd, cls, 16) && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd))
    s->found.push_back(hwnd);
  return TRUE;
}

std::wstring WindowText(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::wstring s(static_cast<size_t>(n < 0 ? 0 : n) + 1, L'\0');
  s.resize(static_cast<size_t>(GetWindowTextW(hwnd, &s[0], static_cast<int>(s.size()))));
  return s;
}

std::wstring BoxText(HWND box) {
  HWND item = GetDlgItem(box, kDialogTextId);
  int n = item ? GetWindowTextLengthW(item) : 0;
  std::wstring s(static_cast<size_t>(n < 0 ? 0 : n) + 1, L'\0');
  s.resize(GetDlgItemTextW(box, kDialogTextId, &s[0], static_cast<int>(s.size())));
  return s;
}

}  // namespace

int PressOkOrCancel(const MessageBoxRecord& box) {
  for (int id : box.buttons)
    if (id == IDOK) return IDOK;
  return IDCANCEL;
}

MessageBoxHandler Press(int id) {
  return [id](const MessageBoxRecord&) { return id; };
}

std::wstring ButtonName(int id) {
  for (const auto& n : kNames)
    if (n.id == id) return n.name;
  return std::to_wstring(id);
}

int ButtonId(const std::wstring& name) {
  for (const auto& n : kNames)
    if (name == n.name) return n.id;
  return 0;
}

BoxWatcher::BoxWatcher(DWORD processId, MessageBoxHandler handler, const std::atomic<size_t>* traceCount)
    : pid_(processId),
      handler_(handler ? std::move(handler) : MessageBoxHandler(PressOkOrCancel)),
      traceCount_(traceCount),
      thread_([this] { Loop(); }) {}

BoxWatcher::~BoxWatcher() { Stop(); }

void BoxWatcher::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::vector<MessageBoxRecord> BoxWatcher::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

void BoxWatcher::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    lock.unlock();
    Sweep();
    lock.lock();
    wake_.wait_for(lock, kPollInterval, [this] { return stop_; });
  }
}

void BoxWatcher::Sweep() {
  // Forget closed boxes, so a later box that gets the same handle counts.
  for (auto it = seen_.begin(); it != seen_.end();) it = IsWindow(it->first) ? std::next(it) : seen_.erase(it);

  Search s{pid_, {}};
  EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&s));
  const ULONGLONG now = GetTickCount64();
  for (HWND box : s.found) {
    auto known = seen_.find(box);
    if (known != seen_.end()) {
      Seen& k = known->second;
      if (k.press && now - k.pressedAt >= kPressAgainMs) {
        PostMessageW(GetDlgItem(box, k.press), BM_CLICK, 0, 0);
        k.pressedAt = now;
      }
      continue;
    }
    MessageBoxRecord rec;
    rec.handle = box;
    rec.tracesBefore = traceCount_ ? traceCount_->load() : 0;
    rec.caption = WindowText(box);
    rec.text = BoxText(box);
    for (int id : kButtonIds) {
      HWND b = GetDlgItem(box, id);
      if (b && IsWindowVisible(b)) rec.buttons.push_back(id);
    }
    Seen k;
    int want = handler_(rec);
    if (want != 0) {
      HWND b = GetDlgItem(box, want);
      if (b && PostMessageW(b, BM_CLICK, 0, 0)) {
        rec.pressed = k.press = want;
        k.pressedAt = now;
      }
    }
    seen_[box] = k;
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(std::move(rec));
  }
}

}  // namespace harness
