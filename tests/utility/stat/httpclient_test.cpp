// The HTTP client against real local servers (plain HTTP on 127.0.0.1,
// HTTPS with a self-signed certificate for localhost), started by the
// stat_servers ctest fixture.
#include "httpclient.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <sstream>
#include <string>

#include "testpaths.h"

using brix::HttpClient;

namespace {

std::map<std::string, std::string> g_servers;

const wchar_t kUserAgent[] =
    L"Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/58.0.3029.96 "
    L"Safari/537.36";

class Http : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    curl_global_init(CURL_GLOBAL_ALL);
    std::istringstream in(testsupport::ReadFileBytes(testsupport::BinPath(L"stat_servers.txt")));
    std::string line;
    while (std::getline(in, line)) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) g_servers[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  static void TearDownTestSuite() { curl_global_cleanup(); }
  void SetUp() override {
    ASSERT_TRUE(g_servers.count("http_port") && g_servers.count("https_port"))
        << "no test servers: run through ctest, whose stat_servers fixture starts them";
  }

  static std::wstring Port(const char* key) { return std::wstring(g_servers[key].begin(), g_servers[key].end()); }
  static std::wstring HttpUrl(const std::wstring& path) { return L"http://127.0.0.1:" + Port("http_port") + path; }
  static std::wstring HttpsUrl(const std::wstring& path) { return L"https://localhost:" + Port("https_port") + path; }

  static std::wstring UniqueToken() {
    static std::atomic<int> n{0};
    return std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n++);
  }
};

}  // namespace

// --- answers -------------------------------------------------------------------

TEST_F(Http, CounterRequestOverHttpsAcceptsASelfSignedCertificate) {
  HttpClient client;
  std::wstring response;
  EXPECT_EQ(client.Request(HttpsUrl(L"/api/ruzorivizi.php"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"1342");
}

TEST_F(Http, PlainHttpBodyIsReturned) {
  HttpClient client;
  std::wstring response = L"old";
  EXPECT_EQ(client.Request(HttpUrl(L"/count"), L"ignored body", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"4711");
}

TEST_F(Http, RedirectIsFollowed) {
  HttpClient client;
  std::wstring response;
  EXPECT_EQ(client.Request(HttpsUrl(L"/redirect"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"4711");
}

TEST_F(Http, EndlessRedirectsEndWithAnError) {
  HttpClient client;
  std::wstring response = L"untouched";
  EXPECT_EQ(client.Request(HttpUrl(L"/loop"), L"", nullptr, response), CURLE_TOO_MANY_REDIRECTS);
  EXPECT_EQ(response, L"untouched");
}

TEST_F(Http, EmptyAnswerEmptiesTheResponse) {
  HttpClient client;
  std::wstring response = L"previous";
  EXPECT_EQ(client.Request(HttpUrl(L"/empty"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"");
}

TEST_F(Http, ServerErrorIsAFailureAndLeavesTheResponse) {
  HttpClient client;
  std::wstring response = L"previous";
  EXPECT_EQ(client.Request(HttpUrl(L"/error500"), L"", nullptr, response), CURLE_HTTP_RETURNED_ERROR);
  EXPECT_EQ(response, L"previous");
}

TEST_F(Http, InvalidUtf8IsReplacedAndStillSucceeds) {
  HttpClient client;
  std::wstring response;
  EXPECT_EQ(client.Request(HttpUrl(L"/badutf8"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"ok\uFFFD\uFFFD end \u00E4");
}

// --- handle reuse and failures ----------------------------------------------

TEST_F(Http, AfterAFailureTheNextRequestHasAFreshHandleWithTheFixedOptions) {
  ASSERT_TRUE(g_servers.count("closed_port"));
  HttpClient client;
  std::wstring response = L"kept";
  EXPECT_EQ(client.Request(L"http://127.0.0.1:" + Port("closed_port") + L"/", L"", nullptr, response),
            CURLE_COULDNT_CONNECT);
  EXPECT_EQ(response, L"kept");
  // Following the redirect and the user agent need the options set again.
  EXPECT_EQ(client.Request(HttpUrl(L"/redirect"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"4711");
  EXPECT_EQ(client.Request(HttpsUrl(L"/ua"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, kUserAgent);
}

TEST_F(Http, HeaderListBelongsToItsOwnRequestOnly) {
  HttpClient client;
  std::wstring response;
  curl_slist* headers = curl_slist_append(nullptr, "X-Quill-Test: one");
  EXPECT_EQ(client.Request(HttpUrl(L"/header"), L"", headers, response), CURLE_OK);
  EXPECT_EQ(response, L"one");
  curl_slist_free_all(headers);  // the caller's list is gone now
  EXPECT_EQ(client.Request(HttpUrl(L"/header"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"(none)");
}

// --- stop flag -------------------------------------------------------------------

TEST_F(Http, StopFlagAbortsAStalledTransfer) {
  HttpClient client;
  const std::wstring token = UniqueToken();
  std::wstring response = L"untouched";
  auto running = std::async(std::launch::async, [&] {
    return client.Request(HttpUrl(L"/stall?id=" + token), L"", nullptr, response);
  });
  // The server answers this once the stalled transfer has begun.
  HttpClient watcher;
  std::wstring state;
  ASSERT_EQ(watcher.Request(HttpUrl(L"/waitstalled?id=" + token), L"", nullptr, state), CURLE_OK);
  ASSERT_EQ(state, L"stalled");
  client.SetStopFlag(1);
  ASSERT_EQ(running.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  // The write callback refuses the first byte when it comes in after the
  // flag; otherwise the progress callback aborts the wait for the rest.
  const CURLcode code = running.get();
  EXPECT_TRUE(code == CURLE_WRITE_ERROR || code == CURLE_ABORTED_BY_CALLBACK) << code;
  EXPECT_EQ(response, L"untouched");
}

TEST_F(Http, SetStopFlagAbortsEveryLaterRequest) {
  HttpClient client;
  client.SetStopFlag(1);
  std::wstring response = L"untouched";
  EXPECT_EQ(client.Request(HttpUrl(L"/count"), L"", nullptr, response), CURLE_ABORTED_BY_CALLBACK);
  EXPECT_EQ(response, L"untouched");
  client.SetStopFlag(0);
  EXPECT_EQ(client.Request(HttpUrl(L"/count"), L"", nullptr, response), CURLE_OK);
  EXPECT_EQ(response, L"4711");
}
