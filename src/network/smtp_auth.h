// The challenge-response logins of the mail client: CRAM-MD5 (RFC 2195)
// and DIGEST-MD5 (RFC 2831, "md5-sess" with quality of protection "auth").
// Pure computations; the dialogue is in SMTPService.
#ifndef ORIN_NETWORK_SMTP_AUTH_H_
#define ORIN_NETWORK_SMTP_AUTH_H_

#include <string>
#include <string_view>

namespace orin {

// user + " " + HMAC-MD5(challenge, key password) in lower-case hex.
std::string CramMd5Answer(std::string_view user, std::string_view password,
                          std::string_view challenge);

// What a DIGEST-MD5 challenge told the client.
struct DigestChallenge {
  std::string realm;
  std::string nonce;
  std::string charset;  // empty when the server named none
};

// Parses a decoded challenge. False with *error set to the message for the
// first thing the client cannot accept.
bool ParseDigestChallenge(std::string_view text, DigestChallenge* out, std::string* error);

struct DigestAnswer {
  std::string line;     // the response line, before Base64
  std::string rspauth;  // the 32 hex digits the server must prove itself with
};

// The response line and the expected rspauth for a challenge.
DigestAnswer DigestMd5Answer(std::string_view user, std::string_view password,
                             const DigestChallenge& challenge, std::string_view cnonce,
                             std::string_view digest_uri);

}  // namespace orin

#endif  // ORIN_NETWORK_SMTP_AUTH_H_
