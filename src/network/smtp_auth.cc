#include "network/smtp_auth.h"

#include "util/ascii.h"
#include "util/md5.h"

namespace orin {

namespace {

std::string Hex(std::string_view data) {
  return HexLower(Md5::Digest(data));
}

// Reads the next name=value pair of a challenge; the value may be quoted
// (with backslash escapes) and then may hold commas. False at the end.
bool NextPair(std::string_view* rest, std::string* name, std::string* value) {
  std::string_view& s = *rest;
  while (!s.empty() && (s[0] == ',' || s[0] == ' ' || s[0] == '\t' || s[0] == '\r' || s[0] == '\n'))
    s.remove_prefix(1);
  if (s.empty()) return false;
  size_t eq = s.find_first_of("=,");
  name->assign(TrimSpaceTabCrLf(s.substr(0, eq)));
  value->clear();
  if (eq == std::string_view::npos || s[eq] == ',') {
    s.remove_prefix(eq == std::string_view::npos ? s.size() : eq);
    return true;
  }
  s.remove_prefix(eq + 1);
  while (!s.empty() && (s[0] == ' ' || s[0] == '\t'))
    s.remove_prefix(1);
  if (!s.empty() && s[0] == '"') {
    s.remove_prefix(1);
    while (!s.empty() && s[0] != '"') {
      if (s[0] == '\\' && s.size() > 1) s.remove_prefix(1);
      value->push_back(s[0]);
      s.remove_prefix(1);
    }
    if (!s.empty()) s.remove_prefix(1);  // the closing quote
    size_t comma = s.find(',');
    s.remove_prefix(comma == std::string_view::npos ? s.size() : comma);
  } else {
    size_t comma = s.find(',');
    value->assign(TrimSpaceTabCrLf(s.substr(0, comma)));
    s.remove_prefix(comma == std::string_view::npos ? s.size() : comma);
  }
  return true;
}

bool ListHas(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    size_t comma = list.find(',');
    if (EqualsNoCase(TrimSpaceTabCrLf(list.substr(0, comma)), word)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

std::string CramMd5Answer(std::string_view user, std::string_view password,
                          std::string_view challenge) {
  return std::string(user) + " " + HexLower(HmacMd5(password, challenge));
}

bool ParseDigestChallenge(std::string_view text, DigestChallenge* out, std::string* error) {
  *out = DigestChallenge();
  bool have_nonce = false;
  bool have_algorithm = false;
  bool have_realm = false;
  std::string name, value;
  while (NextPair(&text, &name, &value)) {
    if (EqualsNoCase(name, "realm")) {
      if (!have_realm) out->realm = value;
      have_realm = true;
    } else if (EqualsNoCase(name, "nonce")) {
      if (have_nonce) {
        *error = "Server returned multiple nonce values during DIGEST-MD5 authentication";
        return false;
      }
      have_nonce = true;
      out->nonce = value;
    } else if (EqualsNoCase(name, "charset")) {
      if (!EqualsNoCase(value, "utf-8")) {
        *error = "Server specified unrecognized charset during DIGEST-MD5 authentication";
        return false;
      }
      out->charset = value;
    } else if (EqualsNoCase(name, "algorithm")) {
      if (have_algorithm) {
        *error =
            "Server returned multiple algorithm values in challenge during DIGEST-MD5 "
            "authentication";
        return false;
      }
      have_algorithm = true;
      if (!EqualsNoCase(value, "md5-sess")) {
        *error = "Server returned an unrecognized algorithm during DIGEST-MD5 authentication";
        return false;
      }
    } else if (EqualsNoCase(name, "qop")) {
      if (!ListHas(value, "auth")) {
        *error = "Server does not support required qop \"auth\" during DIGEST-MD5 authentication";
        return false;
      }
    }
  }
  if (!have_nonce) {
    *error = "Unable to determine nonce during DIGEST-MD5 authentication";
    return false;
  }
  return true;
}

DigestAnswer DigestMd5Answer(std::string_view user, std::string_view password,
                             const DigestChallenge& c, std::string_view cnonce,
                             std::string_view digest_uri) {
  static constexpr std::string_view kNc = "00000001";
  std::string secret = std::string(user) + ":" + c.realm + ":" + std::string(password);
  Md5Digest inner = Md5::Digest(secret);
  std::string a1(reinterpret_cast<const char*>(inner.data()), inner.size());
  a1 += ":" + c.nonce + ":" + std::string(cnonce);
  std::string ha1 = Hex(a1);
  std::string tail = ":" + c.nonce + ":" + std::string(kNc) + ":" + std::string(cnonce) + ":auth:";
  std::string ha2 = Hex("AUTHENTICATE:" + std::string(digest_uri));
  DigestAnswer answer;
  std::string response = Hex(ha1 + tail + ha2);
  answer.rspauth = Hex(ha1 + tail + Hex(":" + std::string(digest_uri)));

  std::string& l = answer.line;
  l = "username=\"" + std::string(user) + "\"";
  if (!c.realm.empty()) l += ",realm=\"" + c.realm + "\"";
  l += ",nonce=\"" + c.nonce + "\"";
  l += ",cnonce=\"" + std::string(cnonce) + "\"";
  l += ",nc=" + std::string(kNc);
  l += ",qop=\"auth\"";
  l += ",digest-uri=\"" + std::string(digest_uri) + "\"";
  if (!c.charset.empty()) l += ",charset=" + c.charset;
  l += ",response=\"" + response + "\"";
  return answer;
}

}  // namespace orin
