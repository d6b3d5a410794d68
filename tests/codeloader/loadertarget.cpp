// A program linked like the installer stub, code loader included, whose
// checks all depend on what the loader puts back: addresses in read-only and
// writable data, jump tables, C++ exceptions (their unwind tables are
// compressed too), thread_local, and the program's own TLS callback, for
// the process and for a new thread. It prints its base address and one
// line per failed check; the exit code is the number of failures.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("failed: %s\n", what);
    ++failures;
  }
}

int One() { return 1; }
int Two() { return 2; }
const char kText[] = "relocated text";
int (*const kConstFunctions[])() = {One, Two};
const char* const kConstStrings[] = {kText, "second"};
int (*gFunctions[])() = {Two, One};

// A switch dense enough to become a table of addresses.
__attribute__((noinline)) int Dispatch(volatile int n) {
  switch (n) {
    case 0: return 10;
    case 1: return 11;
    case 2: return 12;
    case 3: return 13;
    case 4: return 14;
    case 5: return 15;
    case 6: return 16;
    case 7: return 17;
    default: return -1;
  }
}

__attribute__((noinline)) void Throw(const std::string& what) { throw std::runtime_error(what); }

// The program's own TLS callback, which the system now reaches through the
// loader's.
int processAttached = 0;
volatile LONG threadsAttached = 0;
void NTAPI OnTls(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_ATTACH) ++processAttached;
  if (reason == DLL_THREAD_ATTACH) InterlockedIncrement(&threadsAttached);
}
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK onTls = OnTls;

DWORD WINAPI Idle(void*) { return 0; }

int destroyed = 0;
struct PerThread {
  int value = 7;
  ~PerThread() { ++destroyed; }
};
thread_local PerThread perThread;

}  // namespace

// The checks of addresses alone, exported: a test loads this program as a
// library, where the system must place it away from its preferred address,
// and calls them there. They need nothing the C runtime's start sets up.
extern "C" __declspec(dllexport) int LoaderTargetAddressChecks() {
  const int before = failures;
  Check(kConstFunctions[0]() == 1 && kConstFunctions[1]() == 2, "function table in read-only data");
  Check(!std::strcmp(kConstStrings[0], "relocated text") && !std::strcmp(kConstStrings[1], "second"),
        "string table in read-only data");
  Check(gFunctions[0]() == 2 && gFunctions[1]() == 1, "function table in writable data");
  int sum = 0;
  for (int i = 0; i < 8; ++i) sum += Dispatch(i);
  Check(sum == 108, "jump table");
  return failures - before;
}

int main() {
  std::printf("base %p\n", static_cast<void*>(GetModuleHandleW(nullptr)));
  LoaderTargetAddressChecks();
  std::string caught;
  try {
    Throw("thrown through compressed unwind tables");
  } catch (const std::exception& e) {
    caught = e.what();
  }
  Check(caught == "thrown through compressed unwind tables", "exception");
  int seen = 0;
  std::thread worker([&] { seen = perThread.value; });
  worker.join();
  Check(seen == 7, "thread_local in a second thread");
  Check(destroyed == 1, "thread_local destroyed when its thread ended");
  Check(processAttached == 1, "the program's TLS callback before main");
  const LONG before = threadsAttached;
  HANDLE idle = CreateThread(nullptr, 0, Idle, nullptr, 0, nullptr);
  WaitForSingleObject(idle, INFINITE);
  CloseHandle(idle);
  Check(threadsAttached == before + 1, "the program's TLS callback for a new thread");
  std::fflush(stdout);
  return failures;
}
