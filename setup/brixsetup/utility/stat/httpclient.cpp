#include "httpclient.h"

#include <windows.h>

#include "strconv.h"
#include "trace.h"

namespace brix {
namespace {

constexpr char kUserAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/58.0.3029.96 "
    "Safari/537.36";

}  // namespace

HttpClient::~HttpClient() {
  if (handle_) curl_easy_cleanup(handle_);
}

void HttpClient::SetFixedOptions() {
  curl_easy_setopt(handle_, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(handle_, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(handle_, CURLOPT_TCP_KEEPIDLE, 120L);
  curl_easy_setopt(handle_, CURLOPT_TCP_KEEPINTVL, 60L);
  curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle_, CURLOPT_TIMEOUT, 1800L);
  curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, 60L);
  curl_easy_setopt(handle_, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle_, CURLOPT_PROGRESSDATA, this);
  CURL_IGNORE_DEPRECATION(curl_easy_setopt(handle_, CURLOPT_PROGRESSFUNCTION, &HttpClient::ProgressCallback);)
  // An error page is no answer, and a redirect loop would otherwise hold the
  // caller until the 30-minute time-out.
  curl_easy_setopt(handle_, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(handle_, CURLOPT_MAXREDIRS, kMaxRedirects);
}

CURLcode HttpClient::Request(const std::wstring& url, const std::wstring& /*body*/, curl_slist* headers,
                             std::wstring& response) {
  if (!handle_) {
    handle_ = curl_easy_init();
    if (handle_) SetFixedOptions();
  }
  if (!handle_) {
    Trace(L"curl init failed");
    return CURLE_FAILED_INIT;
  }
  response_.clear();
  const std::string url8 = WideToUtf8(url);
  curl_easy_setopt(handle_, CURLOPT_URL, url8.c_str());
  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &HttpClient::WriteCallback);
  curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
  // Set every time: a list kept from an earlier request may have been freed
  // by its owner since.
  curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers);

  const CURLcode result = curl_easy_perform(handle_);
  if (result != CURLE_OK) {
    Trace(L"curl_easy_perform failed,%d", static_cast<int>(result));
    curl_easy_cleanup(handle_);
    handle_ = nullptr;
    return result;
  }
  // Whole body, NULs included; invalid sequences become U+FFFD.
  response = ToWideN(response_.data(), response_.size(), CP_UTF8);
  return CURLE_OK;
}

size_t HttpClient::WriteCallback(char* data, size_t size, size_t count, void* client) {
  auto* self = static_cast<HttpClient*>(client);
  if (!self) return 0;
  if (self->stop_.load()) {
    Trace(L"write_data_get_post Stop");
    return 0;
  }
  self->response_.append(data, size * count);
  return size * count;
}

int HttpClient::ProgressCallback(void* client, double, double, double, double) {
  auto* self = static_cast<HttpClient*>(client);
  return self && self->stop_.load() ? 1 : 0;
}

}  // namespace brix
