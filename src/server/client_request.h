// ClientRequest: one request as a connection thread received it.
//
// Parse reads the request line and the header lines: the request line is
// split into method, URI and protocol (a missing token is empty), the URI
// into path and query string at the first "?" (nothing is decoded).
// Headers are kept by name, ignoring letter case, in arrival order; a
// repeated name joins its value to the first with "," (no space) and keeps
// the first spelling; lines without ":" are ignored. What follows the
// headers is the body, read with ReadBody.
//
// Besides the reader's 1 MiB budget for all lines, the number of header
// lines is limited, since each costs a table entry.
#ifndef ORIN_SERVER_CLIENT_REQUEST_H_
#define ORIN_SERVER_CLIENT_REQUEST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "server/body_source.h"
#include "server/client_connection.h"
#include "server/request_reader.h"
#include "util/byte_string.h"
#include "util/hash_table.h"

namespace orin {

class HTTPListenerThread;

class ClientRequest : public BodySource {
 public:
  static constexpr size_t kMaxHeaderLines = 10000;

  enum class ParseResult {
    kParsed,
    kNoRequest,           // nothing arrived before the close, failure or time-out
    kRequestLineTooLong,  // the request line alone exceeds the line budget
    kHeadersTooLarge,     // the header lines exceed the budget or the line limit
  };

  // A request on an accepted connection; `wait_millis` limits each wait for
  // the client.
  ClientRequest(HTTPListenerThread* owner, AcceptedConnection connection, int wait_millis);
  // A request read from any byte source, with no connection to answer on
  // (for parsing on its own).
  explicit ClientRequest(ByteSource* source,
                         size_t line_budget = RequestReader::kDefaultLineBudget);
  ClientRequest(const ClientRequest&) = delete;
  ClientRequest& operator=(const ClientRequest&) = delete;

  ParseResult Parse();

  // The connection thread serving the request; null without one.
  HTTPListenerThread* owner() const { return owner_; }
  // Where the response goes; null for a request over a plain byte source.
  ClientConnection* connection() { return connection_.get(); }

  const ByteString& request_line() const { return request_line_; }
  const ByteString& method() const { return method_; }
  const ByteString& uri() const { return uri_; }
  const ByteString& protocol() const { return protocol_; }
  const ByteString& path() const { return path_; }
  // Null when the URI had no "?"; empty when it ended in one.
  const ByteString* query_string() const { return has_query_ ? &query_string_ : nullptr; }
  // The client's dotted address, empty when unknown.
  const std::string& remote_address() const { return remote_address_; }

  // The value of a header (name in any letter case), or null.
  const ByteString* Header(std::string_view name) const { return headers_.Find(name); }
  // Iterate with headers().ForEach([](std::string_view name, const ByteString& value) {...}).
  const HashTable<ByteString>& headers() const { return headers_; }

  // Reads up to `count` body bytes: first those that arrived with the
  // headers, then from the connection, each wait limited as above. Returns
  // the count (fewer only when the input ended), 0 at the end, -1 when the
  // connection failed or the wait ran out before any byte.
  int32_t ReadBody(char* buffer, int32_t count) { return reader_.Read(buffer, count); }
  // The body as a source: what arrives in one wait, which gives up at the
  // deadline.
  int32_t ReadSome(char* buffer, int32_t count, int64_t deadline_ms) override {
    return reader_.ReadSome(buffer, count, deadline_ms);
  }

 private:
  void SplitRequestLine();
  void AddHeaderLine(const ByteString& line);
  void SplitUri();

  HTTPListenerThread* owner_ = nullptr;
  std::unique_ptr<ClientConnection> connection_;
  RequestReader reader_;
  ByteString request_line_, method_, uri_, protocol_, path_, query_string_;
  bool has_query_ = false;
  std::string remote_address_;
  HashTable<ByteString> headers_{12, true};
};

}  // namespace orin

#endif  // ORIN_SERVER_CLIENT_REQUEST_H_
