// OrinOutput: an HTTPOutput that writes the response to a ByteSink (the
// client socket, or standard output for `orin run`).
//
// The status line is "HTTP/1.1 " + the "Status" header's text ("200 OK"
// when none was set) and every response says "Connection: close": a
// "Connection" header from a script is dropped. A send that fails for any
// reason but congestion calls the abort callback, which stops the script.
//
// The header block waits for the first body bytes and leaves in the same
// send when they are few, so that a small page is one write and one packet.
#ifndef ORIN_OUTPUT_ORIN_OUTPUT_H_
#define ORIN_OUTPUT_ORIN_OUTPUT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "output/http_output.h"
#include "util/byte_sink.h"
#include "util/byte_string.h"

namespace orin {

class OrinOutput : public HTTPOutput {
 public:
  static constexpr int32_t kSendWaitMs = 30000;

  // The sink is not owned. `abort` may be empty.
  OrinOutput(std::function<void()> abort, ByteSink* sink);
  ~OrinOutput() override;

  using HTTPOutput::SetHeader;
  int32_t SetHeader(const char* name, int32_t name_length, bool owns_name, const char* value,
                    int32_t value_length, bool owns_value) override;
  int32_t Finish(bool final) override;
  int32_t SendHeaders() override;
  // Sends everything unless the client stays congested for the send wait;
  // then the count sent so far. -1 after any other failure (and the abort).
  int32_t SendRaw(const char* data, int32_t length) override;

  // Body bytes up to this many join the waiting header block in one send.
  static constexpr int32_t kJoinLimit = 16384;

  // How long a congested client may take before a send gives up.
  void set_send_wait_ms(int32_t ms) { send_wait_ms_ = ms; }
  std::string_view status_text() const { return status_.view(); }
  // The sink's text for the last failed send.
  const std::string& ErrorText() const { return sink_->ErrorText(); }

 private:
  int32_t SendAll(const char* data, int32_t length);

  std::function<void()> abort_;
  std::string head_;  // header block not yet sent
  ByteSink* sink_;
  ByteString status_;
  bool has_status_ = false;
  int32_t send_wait_ms_ = kSendWaitMs;
};

}  // namespace orin

#endif  // ORIN_OUTPUT_ORIN_OUTPUT_H_
