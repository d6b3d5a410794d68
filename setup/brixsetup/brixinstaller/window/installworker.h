#pragma once
// The installer window's install worker: tells a running product that the
// install begins, runs the long steps, asks the counter service for the
// user's number and posts the install-done message to the window. It never
// touches a control; the window learns everything from that message.
#include <windows.h>

#include <string>

namespace brix {

class InstallSequence;

// Wait between the notice to a running product and the first step, so it
// can let go of its files.
constexpr DWORD kProductNoticeWaitMs = 2000;
// The number shown when the counter service gives none.
constexpr int kFallbackQueryNumber = 1342395;

// The counter's answer as a number: the response read as a signed decimal
// (leading blanks, sign, stops at the first other character); the fallback
// for a failed request or a 0.
int QueryNumberFrom(int curlResult, const std::wstring& response);

// libcurl's process-wide set-up and its end, around the window's life.
void InitNetworking();
void EndNetworking();

// Starts the worker for `window`. The sequence outlives the process's use
// of it.
bool StartInstallWorker(HWND window, InstallSequence& sequence);
// True from StartInstallWorker until the worker has posted its message.
bool InstallWorkerRunning();

}  // namespace brix
