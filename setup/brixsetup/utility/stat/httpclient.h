#pragma once
// One web request at a time with libcurl; the response body as text.
#include <atomic>
#include <cstdint>
#include <string>

#include <curl/curl.h>

namespace brix {

class HttpClient {
 public:
  static constexpr long kMaxRedirects = 20;

  HttpClient() = default;
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // A plain GET of url; body is accepted but not sent. headers applies to
  // this request only (null: none). On success (0) response holds the body
  // received; on failure it is left as it was. An HTTP status of 400 or
  // above is a failure (CURLE_HTTP_RETURNED_ERROR).
  CURLcode Request(const std::wstring& url, const std::wstring& body, curl_slist* headers, std::wstring& response);

  // Not 0: the running and every later transfer is aborted. Any thread.
  void SetStopFlag(int32_t value) { stop_.store(value); }
  int32_t StopFlag() const { return stop_.load(); }

  static size_t WriteCallback(char* data, size_t size, size_t count, void* client);
  static int ProgressCallback(void* client, double dlTotal, double dlNow, double ulTotal, double ulNow);

 private:
  void SetFixedOptions();

  CURL* handle_ = nullptr;
  std::atomic<int32_t> stop_{0};
  std::string response_;
};

}  // namespace brix
