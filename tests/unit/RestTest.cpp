#include "api/Rest.h"

#include <gtest/gtest.h>

#include "HttpsTestServer.h"
#include "util/Exception.h"

namespace {

TestHttpAnswer ByPath(const TestHttpRequest& request) {
  if (request.target == "/moved") {
    return {302, "Found", "", {"Location: /landed"}};
  }
  // "/moved/301" and the like: a redirect with that status.
  if (request.target.rfind("/moved/", 0) == 0) {
    return {std::stoi(request.target.substr(7)), "Moved", "", {"Location: /landed"}};
  }
  if (request.target == "/down") {
    return {503, "Service Unavailable", "", {}};
  }
  if (request.target == "/slow") {
    return {200, "OK", "late", {}, 1500};
  }
  return {201, "Created", R"({"data":77})", {}};
}

TEST(Rest, PostCarriesTheFixedHeadersAndTheJsonBody) {
  HttpsTestServer server(ByPath);
  const TRESTResponse response =
      execRequest(TRESTRequestMethod::rmPOST, server.BaseUrl() + "/v1/sales/tef/callback/abc", {},
                  R"({"type":"result"})", {server.CertFile()});

  EXPECT_EQ(response.StatusCode, 201);
  EXPECT_EQ(response.StatusText, "Created");
  EXPECT_EQ(response.Content, R"({"data":77})");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const TestHttpRequest& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/v1/sales/tef/callback/abc");
  EXPECT_EQ(request.body, R"({"type":"result"})");
  EXPECT_EQ(request.headers.at("accept"), "*/*");
  EXPECT_EQ(request.headers.at("accept-charset"), "UTF-8, *;q=0.8");
  EXPECT_EQ(request.headers.at("content-type"), "application/json");
  ASSERT_TRUE(request.headers.count("user-agent"));
  EXPECT_EQ(request.headers.at("user-agent"), "");
  EXPECT_FALSE(request.headers.count("expect"));
  // HTTP/1.1 only: an HTTP/2 answer has no status text for the failure log.
  EXPECT_EQ(request.offeredProtocols, std::vector<std::string>{"http/1.1"});
}

TEST(Rest, ParametersGoWhereTheirKindSays) {
  HttpsTestServer server(ByPath);
  const TArrayParamRequest parameters = {
      {"id", "a b/c", rpURLSEGMENT, false},     {"X-Raw", "a b", rpHTTPHEADER, false},
      {"X-Encoded", "a b", rpHTTPHEADER, true}, {"q", "1&2", rpGETorPOST, false},
      {"ignored", "x", rpREQUESTBODY, false},
  };
  execRequest(TRESTRequestMethod::rmGET, server.BaseUrl() + "/item/{id}", parameters, "",
              {server.CertFile()});

  const TestHttpRequest request = server.Requests().at(0);
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/item/a%20b%2Fc?q=1%262");
  EXPECT_EQ(request.headers.at("x-raw"), "a b");
  EXPECT_EQ(request.headers.at("x-encoded"), "a%20b");
  EXPECT_FALSE(request.headers.count("content-type"));
  EXPECT_EQ(request.body, "");
}

TEST(Rest, StatusesAreAnswersAndRedirectsAreFollowed) {
  HttpsTestServer server(ByPath);
  struct Case {
    const char* name;
    const char* path;
    long status;
    const char* reason;
  };
  const Case cases[] = {
      {"server error is returned, not raised", "/down", 503, "Service Unavailable"},
      {"redirect followed to its target", "/moved", 201, "Created"},
  };
  for (const Case& c : cases) {
    const TRESTResponse response = execRequest(
        TRESTRequestMethod::rmPOST, server.BaseUrl() + c.path, {}, "{}", {server.CertFile()});
    EXPECT_EQ(std::to_string(response.StatusCode) + " " + response.StatusText,
              std::to_string(c.status) + " " + c.reason)
        << c.name;
  }
}

TEST(Rest, ARedirectedPostReachesTheNewAddressWhole) {
  for (const char* status : {"301", "302", "303", "307", "308"}) {
    HttpsTestServer server(ByPath);
    const TRESTResponse response =
        execRequest(TRESTRequestMethod::rmPOST, server.BaseUrl() + "/moved/" + status, {},
                    R"({"type":"result"})", {server.CertFile()});
    EXPECT_EQ(response.StatusCode, 201) << status;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u) << status;
    EXPECT_EQ(requests[1].method + " " + requests[1].target + " " + requests[1].body,
              R"(POST /landed {"type":"result"})")
        << status;
    EXPECT_EQ(
        requests[1].headers.count("content-type") ? requests[1].headers.at("content-type") : "",
        "application/json")
        << status;
  }
}

TEST(Rest, FailuresRaiseRequestErrorWithTheCause) {
  HttpsTestServer server(ByPath);
  struct Case {
    const char* name;
    std::string url;
    TRestOptions options;
  };
  const Case cases[] = {
      {"certificate not trusted without the extra CA", server.BaseUrl() + "/", {}},
      {"extra CA file missing", server.BaseUrl() + "/", {"/nonexistent/ca.pem"}},
      {"nobody listening", "https://127.0.0.1:1/", {server.CertFile()}},
      {"time-out", server.BaseUrl() + "/slow", {server.CertFile(), 300}},
      {"not an address", "ht!tp://", {}},
  };
  for (const Case& c : cases) {
    try {
      execRequest(TRESTRequestMethod::rmPOST, c.url, {}, "{}", c.options);
      ADD_FAILURE() << c.name << ": no error raised";
    } catch (const Exception& error) {
      const std::string text = error.what();
      EXPECT_TRUE(text.rfind("Request Error ", 0) == 0 && text.size() > 14)
          << c.name << ": " << text;
    }
  }
}

}  // namespace

#include "api/CallbackTest.h"

namespace {

TEST(CallbackTestButton, ShowsTheOutcomeOfThePost) {
  HttpsTestServer server([](const TestHttpRequest& request) -> TestHttpAnswer {
    if (request.body.find("\"ok\"") != std::string::npos) {
      return {204, "No Content", "", {}};
    }
    if (request.body.find("\"refused\"") != std::string::npos) {
      return {422, "Unprocessable Entity", R"({"message":"Falha"})", {}};
    }
    return {503, "Service Unavailable", "", {}};
  });
  struct Case {
    const char* name;
    std::string json;
    std::string shown;
  };
  const Case cases[] = {
      {"accepted", R"({"case": "ok"})", "Confirmou!"},
      {"refused with a message", R"({"case":"refused"})", "Code: 422 - Message: Falha"},
      {"refused without one", R"({"case":"down"})", "503 - Service Unavailable"},
      {"not a JSON object", "[1]", "O texto não é um objeto JSON."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TestarCallback(c.json, server.BaseUrl() + "/v1/sales/tef/callback/", "k",
                             {server.CertFile()}),
              c.shown)
        << c.name;
  }
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].body, R"({"case":"ok"})");
  EXPECT_EQ(requests[0].target.rfind(
                "/v1/sales/tef/callback/eyJ0eXAiOiJKV1QiLCJhbGciOiJIUzM4NCJ9.e30.", 0),
            0u);
  EXPECT_EQ(TestarCallback("{}", "https://127.0.0.1:1/", "k", {}).rfind("Request Error ", 0), 0u);
}

}  // namespace
