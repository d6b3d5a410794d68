#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "binary.h"
#include "stopsignal.h"

namespace quillpack {
namespace {

volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_child = 0;
pid_t g_packer = 0;

void OnStop(int sig) {
  if (getpid() != g_packer) {
    // A forked child before its exec: it ends as the signal asks.
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  const bool again = g_signal != 0;
  if (!again) g_signal = sig;
  const pid_t child = g_child;
  // A tool that did not end at the first request is killed at the second.
  if (child > 0) kill(child, again ? SIGKILL : SIGTERM);
}

}  // namespace

void InstallStopHandlers() {
  g_packer = getpid();
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

int StopSignal() { return g_signal; }

void ThrowIfStopped() {
  if (const int sig = g_signal) {
    const char* name = sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : sig == SIGHUP ? "SIGHUP" : "a signal";
    throw PackError(std::string("stopped by ") + name);
  }
}

void SetRunningChild(intptr_t pid) {
  g_child = sig_atomic_t(pid);
  // A stop that came just before the child was known still reaches it.
  if (pid > 0 && g_signal) kill(pid_t(pid), SIGTERM);
}

void ExitBySignal(int sig) {
  signal(sig, SIG_DFL);
  raise(sig);
  _exit(128 + sig);
}

}  // namespace quillpack
