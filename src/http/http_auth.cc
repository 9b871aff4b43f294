#include "http/http_auth.h"

#include <mutex>
#include <utility>

#include "http/base64.h"
#include "http/net_exceptions.h"
#include "http/text_util.h"

namespace qelvu {
namespace {

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

class TSchemeRegistry {
 public:
  static TSchemeRegistry& Instance() {
    static TSchemeRegistry registry;
    return registry;
  }

  void Register(const std::string& name, const TAuthSchemeClass& scheme_class) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const TAuthSchemeClass* found = FindLocked(name)) {
      throw EAlreadyRegisteredAuthenticationMethod(
          std::string("This authentication method is already registered with class name ") +
          found->ClassName + ".");
    }
    entries_.emplace_back(name, &scheme_class);
  }

  const TAuthSchemeClass* Find(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindLocked(name);
  }

 private:
  TSchemeRegistry() { entries_.emplace_back("Basic", &kBasicAuthenticationClass); }

  const TAuthSchemeClass* FindLocked(const std::string& name) const {
    for (const auto& [entry_name, entry_class] : entries_) {
      if (SameText(entry_name, name)) return entry_class;
    }
    return nullptr;
  }

  std::mutex mutex_;
  std::vector<std::pair<std::string, const TAuthSchemeClass*>> entries_;
};

}  // namespace

const TAuthSchemeClass kBasicAuthenticationClass = {
    "TBasicAuthentication", []() -> std::unique_ptr<THttpAuthentication> {
      return std::make_unique<TBasicAuthentication>();
    }};

void RegisterScheme(const std::string& name, const TAuthSchemeClass& scheme_class) {
  TSchemeRegistry::Instance().Register(name, scheme_class);
}

const TAuthSchemeClass* FindScheme(const std::string& name) {
  return TSchemeRegistry::Instance().Find(name);
}

THttpAuthentication::THttpAuthentication() {
  // A long password must come back exactly as it was set, not refolded at blanks.
  Credentials.FoldOnSet = false;
  Challenges.FoldOnSet = false;
}

void THttpAuthentication::Reset() {
  Attempts = 0;
  Step = 0;
}

void THttpAuthentication::SetChallenges(const std::vector<std::string>& values) {
  Challenges.Clear();
  for (const std::string& value : values) Challenges.Add(value);
}

std::string THttpAuthentication::FindChallenge(const std::string& scheme) const {
  for (int i = 0; i < Challenges.Count(); ++i) {
    if (SameText(FirstWord(Challenges.Line(i)), scheme)) return Challenges.Line(i);
  }
  return std::string();
}

TAuthAction TBasicAuthentication::Advance() {
  std::string challenge = FindChallenge("Basic");
  size_t blank = challenge.find(' ');
  std::string parameters = blank == std::string::npos ? std::string() : challenge.substr(blank + 1);
  for (size_t start = 0; start < parameters.size();) {
    size_t end = parameters.find(", ", start);
    std::string piece = parameters.substr(start, end - start);
    size_t equals = piece.find('=');
    std::string name = Trim(piece.substr(0, equals));
    // The server names parameters, never the credentials themselves: a challenge must not
    // swap the user name that goes out with the caller's password.
    if (equals != std::string::npos && !SameText(name, "username") && !SameText(name, "password") &&
        !SameText(name, "authorization")) {
      Credentials.SetHeaderValue(name, piece.substr(equals + 1));
    }
    if (end == std::string::npos) break;
    start = end + 2;
  }
  std::string realm = Credentials.HeaderValue("realm");
  // Only a quoted realm loses its first and last character; a bare one is kept whole.
  if (realm.size() >= 2 && realm.front() == '"' && realm.back() == '"') {
    realm = realm.substr(1, realm.size() - 2);
  }
  Realm = realm;
  if (Step != 0) return TAuthAction::GiveUp;
  ++Attempts;
  return Username().empty() ? TAuthAction::AskCaller : TAuthAction::SendAgain;
}

std::string ComposeAuthorization(std::unique_ptr<THttpAuthentication>& authentication,
                                 bool basic_authentication, const std::string& username,
                                 const std::string& password) {
  if (!authentication && basic_authentication) {
    authentication = std::make_unique<TBasicAuthentication>();
    authentication->SetUsername(username);
    authentication->SetPassword(password);
  }
  return authentication ? authentication->AuthorizationValue() : std::string();
}

std::string TBasicAuthentication::AuthorizationValue() {
  return "Basic " + EncodeBase64(Username() + ":" + Password());
}

}  // namespace qelvu
