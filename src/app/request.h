// Request: what a script run needs to know about the request that started
// it, whoever received it. The HTTP server adapts its ClientRequest; the
// `orin run` command builds one from its options.
#ifndef ORIN_APP_REQUEST_H_
#define ORIN_APP_REQUEST_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "server/body_source.h"
#include "util/byte_string.h"
#include "util/hash_table.h"

namespace orin {

class ByteSink;

class Request {
 public:
  virtual ~Request() = default;
  virtual std::string_view Method() const = 0;
  // The request path as received (not decoded), e.g. "/shop/" or "/a.ztc".
  virtual std::string_view Path() const = 0;
  // The text after the first '?', or null when the URI had none.
  virtual const std::string* QueryString() const = 0;
  virtual std::string_view Protocol() const = 0;
  // The client's dotted address, or empty.
  virtual std::string_view RemoteAddress() const = 0;
  // Headers in arrival order; names compare case-insensitively.
  virtual const HashTable<ByteString>& Headers() const = 0;
  // Where the body comes from.
  virtual BodySource* Body() = 0;
  // Where the response goes.
  virtual ByteSink* ResponseSink() = 0;
  // How long a send may wait for a congested client.
  virtual int32_t SendWaitMillis() const { return 30000; }
  // The response is complete though the run goes on (its tasks): the
  // client may be told there is no more.
  virtual void EndResponse() {}
  // The server's host name and port as clients address it.
  virtual std::string_view ServerName() const = 0;
  virtual int32_t ServerPort() const = 0;

  // A header's value, or null.
  const ByteString* Header(std::string_view name) const { return Headers().Find(name); }
};

}  // namespace orin

#endif  // ORIN_APP_REQUEST_H_
