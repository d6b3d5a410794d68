// libcurl's headers (through the client's) come before the system's.
#include "httpclient.h"

#include "installworker.h"

#include <atomic>
#include <cwchar>
#include <thread>

#include "installsequence.h"
#include "productconstants.h"
#include "productsetting.h"
#include "tambaselog.h"

namespace brix {
namespace {

std::atomic<bool> g_running{false};

int QueryNumber() {
  HttpClient client;
  std::wstring response;
  const CURLcode result = client.Request(CounterEndpointUrl(), L"", nullptr, response);
  if (result != CURLE_OK) BRIX_LOG_ERROR("querynumber {}-{}", static_cast<int>(result), curl_easy_strerror(result));
  return QueryNumberFrom(result, response);
}

void RunWorker(HWND window, InstallSequence* sequence) {
  if (HWND product = FindWindowW(product::kMainWindowClass, nullptr))
    PostMessageW(product, product::kInstallStartingMessage, 0, 0);
  Sleep(kProductNoticeWaitMs);
  sequence->InstallFiles();
  const int number = QueryNumber();
  g_running.store(false);
  PostMessageW(window, product::kInstallDoneMessage, static_cast<WPARAM>(number), 0);
}

}  // namespace

int QueryNumberFrom(int curlResult, const std::wstring& response) {
  const long number = wcstol(response.c_str(), nullptr, 10);
  if (curlResult != CURLE_OK || number == 0) return kFallbackQueryNumber;
  return static_cast<int>(number);
}

void InitNetworking() { curl_global_init(CURL_GLOBAL_ALL); }
void EndNetworking() { curl_global_cleanup(); }

bool StartInstallWorker(HWND window, InstallSequence& sequence) {
  g_running.store(true);
  try {
    // Never joined: the window hears from it by its message alone.
    std::thread(RunWorker, window, &sequence).detach();
  } catch (...) {
    g_running.store(false);
    return false;
  }
  return true;
}

bool InstallWorkerRunning() { return g_running.load(); }

}  // namespace brix
