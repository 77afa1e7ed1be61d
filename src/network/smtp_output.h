// SMTPOutput: the sink that turns a script's output into the DATA stream of
// a mail message. Every line end (CR LF, LF CR, a lone CR or a lone LF)
// goes out as CR LF, line ends before the first character of the text are
// dropped, and a line beginning with '.' gets a second '.' in front
// (RFC 5321 transparency). Finish closes the stream with ".\r\n".
#ifndef ORIN_NETWORK_SMTP_OUTPUT_H_
#define ORIN_NETWORK_SMTP_OUTPUT_H_

#include <cstdint>
#include <string>

#include "network/network_output.h"

namespace orin {

class SMTPOutput : public NetworkOutput {
 public:
  // `owner` receives immediate writes and headers (the run's own sink).
  SMTPOutput(Output* owner, NetworkConnection* connection, int32_t buffer_size, int32_t timeout);

  using NetworkOutput::Write;
  int32_t Write(const char* data, int32_t length) override;
  // Remembers the first failed send and sends nothing after it.
  int32_t Send(const char* data, int32_t length) override;
  std::string LastError() override { return failed_ ? error_ : NetworkOutput::LastError(); }

  // Ends the text with the closing dot line and sends everything. False
  // when a send failed (LastError says why).
  bool FinishText();
  bool failed() const { return failed_; }
  // Sends nothing more, not even what is buffered: the message is dropped.
  void Abandon() { failed_ = true; }

 private:
  enum class State {
    kStart,      // nothing but line ends yet: they are dropped
    kLineStart,  // at the start of a line
    kInLine,
    kAfterCr,  // a CR ended a line; an LF right after belongs to it
    kAfterLf,  // an LF ended a line; a CR right after belongs to it
  };

  State state_ = State::kStart;
  bool failed_ = false;
  std::string error_;
  std::string pending_;  // the translated bytes of one Write
};

}  // namespace orin

#endif  // ORIN_NETWORK_SMTP_OUTPUT_H_
