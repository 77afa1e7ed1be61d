#include "server/client_request.h"

#include "util/ascii.h"

namespace orin {

ClientRequest::ClientRequest(HTTPListenerThread* owner, AcceptedConnection connection,
                             int wait_millis)
    : owner_(owner),
      connection_(std::make_unique<ClientConnection>(std::move(connection.socket), wait_millis,
                                                     std::move(connection.received),
                                                     connection.input_ended)),
      reader_(connection_.get()),
      remote_address_(std::move(connection.peer)) {}

ClientRequest::ClientRequest(ByteSource* source, size_t line_budget)
    : reader_(source, line_budget) {}

ClientRequest::ParseResult ClientRequest::Parse() {
  switch (reader_.ReadLine(&request_line_)) {
    case RequestReader::LineStatus::kEnd:
      return ParseResult::kNoRequest;
    case RequestReader::LineStatus::kTooLong:
      return ParseResult::kRequestLineTooLong;
    case RequestReader::LineStatus::kLine:
      break;
  }
  SplitRequestLine();
  SplitUri();
  ByteString line;
  for (size_t count = 0;; ++count) {
    RequestReader::LineStatus status = reader_.ReadLine(&line);
    if (status == RequestReader::LineStatus::kTooLong) return ParseResult::kHeadersTooLarge;
    if (status == RequestReader::LineStatus::kEnd || line.empty()) break;
    if (count == kMaxHeaderLines) return ParseResult::kHeadersTooLarge;
    AddHeaderLine(line);
  }
  return ParseResult::kParsed;
}

// Tokens are runs of non-whitespace; the whitespace after each is skipped.
void ClientRequest::SplitRequestLine() {
  std::string_view line = request_line_.view();
  size_t i = 0;
  auto next = [&](ByteString* token) {
    size_t start = i;
    while (i < line.size() && !IsSpace(line[i]))
      ++i;
    token->Assign(line.substr(start, i - start));
    while (i < line.size() && IsSpace(line[i]))
      ++i;
  };
  next(&method_);
  next(&uri_);
  next(&protocol_);
}

void ClientRequest::SplitUri() {
  std::string_view uri = uri_.view();
  size_t q = uri.find('?');
  has_query_ = q != std::string_view::npos;
  path_.Assign(uri.substr(0, q));
  if (has_query_) query_string_.Assign(uri.substr(q + 1));
}

void ClientRequest::AddHeaderLine(const ByteString& line) {
  std::string_view text = line.view();
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) return;
  std::string_view name = text.substr(0, colon);
  size_t v = colon + 1;
  while (v < text.size() && IsSpace(text[v]))
    ++v;
  std::string_view value = text.substr(v);
  if (ByteString* old = headers_.Find(name)) {
    old->Append(',');
    old->Append(value);
  } else {
    headers_.Set(name, ByteString(value));
  }
}

}  // namespace orin
