#include <gtest/gtest.h>

#include "http/base64.h"
#include "http/http_auth.h"
#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "support/expect_throw.h"
#include "support/loopback_server.h"

namespace qelvu {
namespace {

using test::TLoopbackServer;
using test::TServerScript;

constexpr char kChallenge[] =
    "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
    "Content-Length: 6\r\n\r\ndenied";
constexpr char kHello[] = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
// "u:p" in Base64.
constexpr char kUserPassword[] = "Authorization: Basic dTpw\r\n";

bool Carries(const std::string& request, const std::string& line) {
  return request.find(line) != std::string::npos;
}

TEST(Base64Test, EncodesAndDecodesRfc2045) {
  struct Case {
    const char* plain;
    const char* encoded;
  } cases[] = {{"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
               {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe", "//4="},
               {"u:p", "dTpw"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(EncodeBase64(c.plain), c.encoded);
    EXPECT_EQ(DecodeBase64(c.encoded), c.plain);
  }
}

TEST(Base64Test, MalformedInputRaises) {
  struct Case {
    const char* name;
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {"block not a multiple of 3", [] { EncodeBase64Block("ab"); }, "Uneven size in Encode."},
      {"text not a multiple of 4", [] { DecodeBase64("Zm9"); }, "Uneven size in DecodeToStream."},
      {"character outside the alphabet", [] { DecodeBase64("Zm9*"); },
       "Invalid character in DecodeToStream."},
      {"fill before the end", [] { DecodeBase64("Zg==Zm9v"); },
       "Invalid character in DecodeToStream."},
      {"data after fill", [] { DecodeBase64("Zg=v"); }, "Invalid character in DecodeToStream."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto failure = test::ExpectThrow<ENetException>(c.call);
    if (failure) {
      EXPECT_STREQ(failure->what(), c.message);
    }
  }
  EXPECT_EQ(EncodeBase64Block("foobar"), "Zm9vYmFy");
}

TEST(AuthSchemeTest, BasicIsRegisteredOnceUnderAnyCase) {
  EXPECT_EQ(FindScheme("BASIC"), &kBasicAuthenticationClass);
  EXPECT_EQ(FindScheme("Digest"), nullptr);
  auto failure = test::ExpectThrow<EAlreadyRegisteredAuthenticationMethod>(
      [] { RegisterScheme("basic", kBasicAuthenticationClass); });
  ASSERT_TRUE(failure);
  EXPECT_STREQ(failure->what(),
               "This authentication method is already registered with class name "
               "TBasicAuthentication.");
}

TEST(AuthSchemeTest, BasicReadsTheChallenge) {
  struct Case {
    const char* name;
    const char* challenge;
    const char* user;
    const char* realm;
    TAuthAction action;
  } cases[] = {
      {"quoted realm with a blank", "Basic realm=\"my realm\"", "u", "my realm",
       TAuthAction::SendAgain},
      {"no user name asks the caller", "Basic realm=\"r\"", "", "r", TAuthAction::AskCaller},
      {"bare realm kept whole", "basic realm=x, charset=\"UTF-8\"", "u", "x",
       TAuthAction::SendAgain},
      {"a challenge cannot name the user", "Basic realm=\"r\", username=\"evil\"", "u", "r",
       TAuthAction::SendAgain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TBasicAuthentication auth;
    auth.SetUsername(c.user);
    auth.SetPassword("p");
    auth.SetChallenges({"Digest realm=\"d\"", c.challenge});
    EXPECT_EQ(auth.Advance(), c.action);
    EXPECT_EQ(auth.Realm, c.realm);
    EXPECT_EQ(auth.Username(), c.user);
    EXPECT_EQ(auth.Attempts, 1);
  }
  TBasicAuthentication auth;
  auth.SetUsername("Aladdin");
  auth.SetPassword("open sesame");
  EXPECT_EQ(auth.AuthorizationValue(), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  auth.Advance();
  auth.Reset();
  EXPECT_EQ(auth.Attempts, 0);
}

class AuthExchangeTest : public ::testing::Test {
 protected:
  AuthExchangeTest() { client_.ReadTimeout = 5000; }

  // Runs the request and returns the status code of the protocol failure (0 when none).
  int Fetch(const std::string& path = "/") {
    try {
      client_.GetDocument(server_.Url(path), sink_);
    } catch (const EHTTPProtocolException& e) {
      body_ = e.ErrorBody();
      return e.ErrorCode();
    }
    return 0;
  }

  TLoopbackServer server_;
  THttpClient client_;
  TStringStream sink_;
  std::string body_;
};

TEST_F(AuthExchangeTest, DefaultsRaiseOnTheFirst401AndKeepTheScheme) {
  server_.AddConnection(TServerScript().ReadRequest().Send(kChallenge));
  client_.Request().Username = "u";
  client_.Request().Password = "p";
  EXPECT_EQ(Fetch(), 401);
  EXPECT_EQ(body_, "denied");
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_FALSE(Carries(server_.Requests()[0], "Authorization"));
  ASSERT_NE(client_.Request().Authentication, nullptr);
  EXPECT_NE(dynamic_cast<TBasicAuthentication*>(client_.Request().Authentication.get()), nullptr);
  EXPECT_EQ(client_.Request().Authentication->Attempts, 0);
}

TEST_F(AuthExchangeTest, InProcessAuthMakesThreeAttempts) {
  TServerScript script;
  for (int i = 0; i < 4; ++i) script.ReadRequest().Send(kChallenge);
  server_.AddConnection(script);
  client_.HTTPOptions |= hoInProcessAuth;
  client_.Request().Username = "u";
  client_.Request().Password = "p";
  EXPECT_EQ(Fetch(), 401);
  std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_FALSE(Carries(requests[0], "Authorization"));
  for (int i = 1; i < 4; ++i) EXPECT_TRUE(Carries(requests[i], kUserPassword)) << i;
  EXPECT_EQ(server_.AcceptedConnections(), 1);
}

TEST_F(AuthExchangeTest, CredentialsArrive) {
  struct Case {
    const char* name;
    bool basic_first;
    bool handler;
    size_t requests;
  } cases[] = {
      {"BasicAuthentication sends them with the first request", true, false, 1},
      {"the caller's handler gives them after a 401", false, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    TServerScript script;
    if (!c.basic_first) script.ReadRequest().Send(kChallenge);
    server.AddConnection(script.ReadRequest().Send(kHello));
    THttpClient client;
    client.ReadTimeout = 5000;
    std::string realm;
    if (c.handler) {
      client.HTTPOptions |= hoInProcessAuth;
      client.OnAuthorization = [&realm](THttpAuthentication& auth, bool& handled) {
        realm = static_cast<TBasicAuthentication&>(auth).Realm;
        auth.SetUsername("u");
        auth.SetPassword("p");
        handled = true;
      };
    } else {
      client.Request().Username = "u";
      client.Request().Password = "p";
      client.Request().BasicAuthentication = true;
    }
    TStringStream sink;
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), "hello");
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), c.requests);
    EXPECT_TRUE(Carries(requests.back(), kUserPassword)) << requests.back();
    if (c.handler) {
      EXPECT_EQ(realm, "r");
      EXPECT_EQ(client.Request().Username, "u");
    }
  }
}

TEST_F(AuthExchangeTest, RefusalsRaiseAtOnce) {
  struct Case {
    const char* name;
    const char* answer;
    bool handler_declines;
    bool selection_refuses;
  } cases[] = {
      {"unknown scheme",
       "HTTP/1.1 401 No\r\nWWW-Authenticate: Negotiate\r\nContent-Length: 0\r\n\r\n", false, false},
      {"handler declines", kChallenge, true, false},
      {"selection handler refuses the scheme", kChallenge, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(c.answer));
    THttpClient client;
    client.ReadTimeout = 5000;
    client.HTTPOptions |= hoInProcessAuth;
    int asked = 0;
    if (c.handler_declines) {
      client.OnAuthorization = [&asked](THttpAuthentication&, bool&) { ++asked; };
    }
    if (c.selection_refuses) {
      client.OnSelectAuthorization = [](const TAuthSchemeClass*& scheme_class,
                                        const std::vector<std::string>& challenges) {
        EXPECT_EQ(scheme_class, &kBasicAuthenticationClass);
        EXPECT_EQ(challenges, (std::vector<std::string>{"Basic realm=\"r\""}));
        scheme_class = nullptr;
      };
    }
    TStringStream sink;
    EXPECT_THROW(client.GetDocument(server.Url("/"), sink), EHTTPProtocolException);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(asked, c.handler_declines ? 1 : 0);
    EXPECT_EQ(client.Request().Authentication != nullptr, c.handler_declines);
  }
}

TEST_F(AuthExchangeTest, HandlerWithoutUserNameIsNotAskedForever) {
  TServerScript script;
  for (int i = 0; i < 4; ++i) script.ReadRequest().Send(kChallenge);
  server_.AddConnection(script);
  client_.HTTPOptions |= hoInProcessAuth;
  int asked = 0;
  client_.OnAuthorization = [&asked](THttpAuthentication&, bool& handled) {
    ++asked;
    handled = true;
  };
  EXPECT_EQ(Fetch(), 401);
  EXPECT_EQ(asked, client_.AuthRetries);
}

TEST_F(AuthExchangeTest, CredentialsSettledWithOneServerStayWithIt) {
  struct Case {
    const char* name;
    bool from_handler;
  } cases[] = {
      {"credentials set before the request", false},
      {"credentials the handler gave", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer asking;
    asking.AddConnection(TServerScript()
                             .ReadRequest()
                             .Send(kChallenge)
                             .ReadRequest()
                             .Send(kHello)
                             .ReadRequest()
                             .Send(kHello));
    TLoopbackServer other;
    other.AddConnection(TServerScript().ReadRequest().Send(kHello));
    THttpClient client;
    client.ReadTimeout = 5000;
    client.HTTPOptions |= hoInProcessAuth;
    if (c.from_handler) {
      client.OnAuthorization = [](THttpAuthentication& auth, bool& handled) {
        auth.SetUsername("u");
        auth.SetPassword("p");
        handled = true;
      };
    } else {
      client.Request().Username = "u";
      client.Request().Password = "p";
    }
    TStringStream sink;
    client.GetDocument(asking.Url("/"), sink);
    client.GetDocument(asking.Url("/again"), sink);
    client.GetDocument(other.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), "hellohellohello");
    std::vector<std::string> requests = asking.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(Carries(requests[1], kUserPassword));
    EXPECT_TRUE(Carries(requests[2], kUserPassword)) << "the same server keeps them";
    ASSERT_EQ(other.Requests().size(), 1u);
    EXPECT_FALSE(Carries(other.Requests()[0], "Authorization")) << other.Requests()[0];
  }
}

TEST_F(AuthExchangeTest, AChallengeAfterARedirectIsAnsweredWhereItCameFrom) {
  TLoopbackServer target;
  target.AddConnection(TServerScript().ReadRequest().Send(kChallenge).ReadRequest().Send(kHello));
  server_.AddConnection(TServerScript().ReadRequest().Send(
      "HTTP/1.1 302 Found\r\nLocation: " + target.Url("/there") + "\r\nContent-Length: 0\r\n\r\n"));
  client_.HandleRedirects = true;
  client_.HTTPOptions |= hoInProcessAuth;
  client_.OnAuthorization = [](THttpAuthentication& auth, bool& handled) {
    auth.SetUsername("u");
    auth.SetPassword("p");
    handled = true;
  };
  EXPECT_EQ(Fetch("/here"), 0);
  EXPECT_EQ(sink_.DataString(), "hello");
  EXPECT_EQ(server_.Requests().size(), 1u);
  std::vector<std::string> requests = target.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].substr(0, 21), "GET /there HTTP/1.1\r\n");
  EXPECT_TRUE(Carries(requests[1], kUserPassword)) << requests[1];
}

TEST_F(AuthExchangeTest, RedirectsKeepTheMethodUnlessTheHandlerChangesIt) {
  TLoopbackServer other;
  other.AddConnection(TServerScript().ReadRequest().Send(kHello));
  server_.AddConnection(
      TServerScript()
          .ReadRequest()
          .Send("HTTP/1.1 303 See Other\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n")
          .ReadRequest()
          .Send("HTTP/1.1 302 Found\r\nLocation: /ignored\r\nContent-Length: 0\r\n\r\n"));
  client_.HandleRedirects = true;
  std::vector<int> counts;
  client_.OnRedirect = [&](std::string& destination, int count, bool& handled,
                           THttpMethod& method) {
    counts.push_back(count);
    if (destination == "/ignored") {
      destination = other.Url("/there");
      method = THttpMethod::hmGet;
    }
    EXPECT_TRUE(handled);
  };
  TStringStream body("data");
  client_.PerformRequest(THttpMethod::hmPost, server_.Url("/form"), &body, &sink_);
  EXPECT_EQ(sink_.DataString(), "hello");
  ASSERT_EQ(server_.Requests().size(), 2u);
  EXPECT_EQ(server_.Requests()[1].substr(0, 22), "POST /next HTTP/1.1\r\nC");
  EXPECT_TRUE(server_.Requests()[1].ends_with("\r\n\r\ndata"));
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].substr(0, 21), "GET /there HTTP/1.1\r\n");
  EXPECT_EQ(counts, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace qelvu
