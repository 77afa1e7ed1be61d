// POP3: one "ZtPOP" block (RFC 1939 client). Opening the block logs in,
// asks STAT and LIST and fetches the first message; the body then runs once
// per message with the message in a file of the data area and its main
// header fields in variables; "ZtPOPDELETE" marks the current message for
// deletion, and QUIT at the end makes the deletions take effect.
//
// The host text may name a port ("host:port", "[v6]:port") and a scheme:
// "pop3s://" (or port 995) starts TLS at once, "pop3://" or none is plain
// TCP on port 110 by default.
#ifndef ORIN_NETWORK_POP3_H_
#define ORIN_NETWORK_POP3_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "network/network_service.h"
#include "util/ascii.h"
#include "vm/feature.h"

namespace orin {

class ZetoVM;

struct POP3Message {
  uint32_t number = 0;
  uint64_t size = 0;
  std::string file;  // the message file, relative to the data area
};

// Where a host text says to connect.
struct Pop3Address {
  std::string host;
  int port = 110;
  bool tls = false;
};
// False for a port that is not a number from 1 to 65535.
bool ParsePop3Address(std::string_view text, Pop3Address* out);

class POP3 : public Feature, public NetworkService {
 public:
  POP3(ZetoVM& machine, NetworkManager* manager, const Pop3Address& address, int timeout,
       std::string directory);
  // Sends QUIT when the connection is still open. The message files stay.
  ~POP3() override;

  // Connects, logs in and lists the messages. False with ErrorText().
  bool Start(const std::string& user, const std::string& password);
  // Fetches the next message into its file and the variables: 1, 0 when
  // none is left, -1 with ErrorText().
  int NextMessage();
  // DELE for the current message.
  bool DeleteCurrent();
  // QUIT and close.
  void Quit();

  size_t count() const { return messages_.size(); }

 private:
  // Sends `line` and reads the status; false with error_ set to the
  // server's text, "Invalid response from server" or "Error sending data
  // to server".
  bool Command(const std::string& line, std::string* text);
  bool Retrieve(POP3Message* message);
  void SetVariables();
  void SetText(const char* name, std::string_view value);

  ZetoVM& machine_;
  bool tls_;
  std::string directory_;
  std::vector<POP3Message> messages_;
  size_t current_ = 0;  // 1-based index of the current message, 0 before the first
  uint32_t stat_count_ = 0;
  // Header fields of the current message by lower-cased name.
  std::map<std::string, std::string> headers_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_POP3_H_
