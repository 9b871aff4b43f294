// Authentication schemes for 401 and 407 answers.
//
// A scheme object (`THttpAuthentication`) keeps the user name, password and challenge
// parameters of one server or proxy, counts the attempts made with them, and gives the header
// value to send. `TBasicAuthentication` is the "Basic" scheme. The process-wide registry maps a
// challenge's scheme name (any letter case) to the class that answers it; "Basic" is registered
// from the start. The registry may be used from any thread; a scheme object belongs to the
// request record or proxy settings that own it and serves one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "http/header_list.h"

namespace qelvu {

// What a scheme wants after reading a challenge.
enum class TAuthAction { AskCaller = 0, SendAgain = 1, GiveUp = 2 };

class THttpAuthentication {
 public:
  THttpAuthentication();
  virtual ~THttpAuthentication() = default;

  // Reads the challenges and decides the next action; counts an attempt when it sends.
  virtual TAuthAction Advance() = 0;
  // The step at which the exchange with the server is complete.
  virtual int StepCount() const { return 0; }
  // Forgets the attempts and steps (the credentials stay).
  virtual void Reset();
  // The header value for the next request; empty sends no header.
  virtual std::string AuthorizationValue() = 0;
  // Whether the scheme needs the connection kept between its steps (no client consults it).
  virtual bool KeepAlive() const { return false; }

  std::string Username() const { return Credentials.HeaderValue("username"); }
  std::string Password() const { return Credentials.HeaderValue("password"); }
  void SetUsername(const std::string& value) { Credentials.SetHeaderValue("Username", value); }
  void SetPassword(const std::string& value) { Credentials.SetHeaderValue("Password", value); }
  // Keeps a copy of the server's authenticate header values.
  void SetChallenges(const std::vector<std::string>& values);
  // The first challenge whose scheme word is `scheme` (any case); empty when none.
  std::string FindChallenge(const std::string& scheme) const;

  int Step = 0;
  int Attempts = 0;
  // "Name: value" lines: Username, Password, the last "Authorization" value and the parsed
  // challenge parameters.
  THeaderList Credentials;
  THeaderList Challenges;
};

class TBasicAuthentication : public THttpAuthentication {
 public:
  TAuthAction Advance() override;
  int StepCount() const override { return 1; }
  // "Basic " and the Base64 of user name, ":" and password.
  std::string AuthorizationValue() override;

  // The realm of the last challenge, without its quotes.
  std::string Realm;
};

// A registrable scheme class: its name for messages and how to make one.
struct TAuthSchemeClass {
  const char* ClassName;
  std::unique_ptr<THttpAuthentication> (*Create)();
};

extern const TAuthSchemeClass kBasicAuthenticationClass;

// Adds a scheme; raises EAlreadyRegisteredAuthenticationMethod when the name (any case) is
// taken.
void RegisterScheme(const std::string& name, const TAuthSchemeClass& scheme_class);
// The class registered for the name (any case), or null.
const TAuthSchemeClass* FindScheme(const std::string& name);

// The value of an "Authorization" (or "Proxy-Authorization") header: the scheme object's, or,
// without one but with `basic_authentication`, that of a new Basic object made from the user
// name and password and kept in `authentication`. Empty when neither applies.
std::string ComposeAuthorization(std::unique_ptr<THttpAuthentication>& authentication,
                                 bool basic_authentication, const std::string& username,
                                 const std::string& password);

}  // namespace qelvu
