// Call: one "ZtCALL" request and its response, open on the machine's feature
// stack while the tag's body loops over the response's objects.
#ifndef ORIN_NETWORK_CALL_H_
#define ORIN_NETWORK_CALL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "network/call_buffer.h"
#include "network/http_response_stream.h"
#include "network/network_connection.h"
#include "vm/feature.h"

namespace orin {

class VariableHash;
class ZetoVM;

// Call flags.
constexpr uint32_t kCallNoParse = 1;
constexpr uint32_t kCallForceHttps = 2;
constexpr uint32_t kCallForceVerify = 4;

// The tag's inputs, as the script gave them.
struct CallInputs {
  std::string url;
  std::string method;
  std::string fields;  // comma-separated variable names
  std::string files;   // comma-separated variable names holding file names
  std::string content_type;
  std::string certificate_file;
  std::string certificate_type;
  std::string headers;
  int32_t timeout = 0;
  std::string passphrase;
  std::string certificate_data;
  std::string flags;
  std::string pin_algorithm;
  std::string fingerprint;
};

class Call : public Feature {
 public:
  explicit Call(ZetoVM& machine);
  ~Call() override;

  // Sends the request and reads the response head, setting the header
  // variables. False with ErrorText() set.
  bool Start(const CallInputs& inputs);
  // Delivers the next object into the variables: 1, 0 when none is left,
  // -1 on failure.
  int NextObject();
  const std::string& ErrorText() const { return error_; }

 private:
  bool Fail(std::string text);
  bool ParseFlags(const std::string& text);
  void SetText(const char* name, std::string_view value);
  void SetArray(const char* name, const std::vector<std::string>& values);

  ZetoVM& machine_;
  VariableHash* scope_;
  uint32_t flags_ = 0;
  int kind_ = 1;  // 0 head, 1 get, 2 form post, 3 raw body
  int32_t block_size_ = 8192;
  int timeout_ = 0;
  bool delivered_body_ = false;
  std::unique_ptr<NetworkConnection> connection_;
  std::unique_ptr<HTTPResponseStream> response_;
  std::unique_ptr<CallBuffer> buffer_;
  std::string error_;
};

// Registers the ZtCALL, ZtSMTP and ZtPOP instructions with the machine (once
// per process).
void InstallNetworkInstructions();

}  // namespace orin

#endif  // ORIN_NETWORK_CALL_H_
