// SMTP: one "ZtSMTP" block on the machine's feature stack. Opening the block
// connects, logs in, sends the envelope and the headers and makes an
// SMTPOutput the run's current sink, so that everything the body prints
// becomes the message text; closing it ends the text, reads the server's
// verdict and sends QUIT. Leaving the block any other way (an error, a
// return) gives the run its own sink back and drops the connection, so an
// unfinished message is never delivered.
#ifndef ORIN_NETWORK_SMTP_H_
#define ORIN_NETWORK_SMTP_H_

#include <memory>
#include <string>

#include "network/smtp_output.h"
#include "network/smtp_service.h"
#include "vm/feature.h"

namespace orin {

class ZetoVM;

// The tag's inputs; absent ones are empty (port 0 means 25).
struct SmtpInputs {
  std::string recipients;
  std::string sender;
  std::string host;
  std::string cc;
  std::string subject;
  int32_t port = 0;
  std::string flags;
  std::string user;
  std::string password;
};

class SMTP : public Feature {
 public:
  explicit SMTP(ZetoVM& machine);
  ~SMTP() override;

  // Everything up to the message text. False with ErrorText() set.
  bool Start(const SmtpInputs& inputs);
  // Ends the text and the dialogue. False with ErrorText() set.
  bool End();
  const std::string& ErrorText() const { return error_; }

 private:
  void RestoreOutput();

  ZetoVM& machine_;
  std::unique_ptr<SMTPService> service_;
  std::unique_ptr<SMTPOutput> output_;
  Output* previous_ = nullptr;
  bool active_ = false;
  std::string error_;
};

// Registers ZtSMTP and ZtPOP instructions (called with the network ones).
void InstallMailInstructions();

}  // namespace orin

#endif  // ORIN_NETWORK_SMTP_H_
