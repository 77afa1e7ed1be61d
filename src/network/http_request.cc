// Writing an HTTP request: the head, the extra header lines, and the body.
#include <cstdio>

#include "files/file.h"
#include "network/http_request_body.h"
#include "network/network_manager.h"

namespace orin {

void HttpRequestBody::AddText(std::string_view text) {
  if (text.empty()) return;
  if (!parts_.empty() && !parts_.back().file) {
    parts_.back().text.append(text);
    parts_.back().size += static_cast<int64_t>(text.size());
  } else {
    Part p;
    p.text.assign(text);
    p.size = static_cast<int64_t>(text.size());
    parts_.push_back(std::move(p));
  }
  length_ += static_cast<int64_t>(text.size());
}

void HttpRequestBody::AddFile(std::unique_ptr<File> file) {
  Part p;
  int64_t size = file->Size();
  p.size = size > 0 ? size : 0;
  p.file = std::move(file);
  length_ += p.size;
  parts_.push_back(std::move(p));
}

bool HttpRequestBody::WriteTo(NetworkConnection* connection, int timeout, int32_t block_size,
                              std::string* error) {
  std::string block(static_cast<size_t>(block_size > 0 ? block_size : 8192), '\0');
  for (Part& p : parts_) {
    if (!p.file) {
      if (connection->Write(p.text, timeout) < 0) {
        *error = connection->ErrorText();
        return false;
      }
      continue;
    }
    // Exactly the announced size: a file that changed meanwhile must not
    // break the framing of the request.
    int64_t left = p.size;
    while (left > 0) {
      int32_t want = static_cast<int32_t>(std::min<int64_t>(left, block.size()));
      int32_t n = p.file->Read(block.data(), want);
      if (n <= 0) {
        *error = n < 0 ? p.file->ErrorText() : std::string("File became shorter while sending");
        return false;
      }
      if (connection->Write(block.data(), n, timeout) < 0) {
        *error = connection->ErrorText();
        return false;
      }
      left -= n;
    }
  }
  return true;
}

bool NetworkManager::SendHttpRequest(NetworkConnection* connection, std::string_view method,
                                     const UrlParts& url, double version,
                                     std::string_view content_type, HttpRequestBody* body,
                                     std::string_view extra_headers, int timeout,
                                     int32_t block_size) {
  if (version > 9) version = 1.1;
  if (version < 0) version = 1.0;
  char number[16];
  std::snprintf(number, sizeof number, "%.1f", version);
  std::string head;
  head.append(method).append(" /").append(url.path).append(" HTTP/").append(number);
  head.append("\r\n");
  if (version >= 1.0) {
    bool bracket = url.host.find(':') != std::string::npos;
    head.append("Host: ");
    head.append(bracket ? "[" + url.host + "]" : url.host);
    if (!url.port.empty()) head.append(":").append(url.port);
    head.append("\r\n");
  }
  if (body != nullptr) {
    head.append("Content-Type: ").append(content_type).append("\r\n");
    head.append("Content-Length: ").append(std::to_string(body->Length())).append("\r\n");
  }
  head.append(extra_headers);
  head.append(version >= 1.1 ? "Connection: close\r\n\r\n" : "\r\n");
  if (connection->Write(head, timeout) < 0) {
    SetError(connection->ErrorText());
    return false;
  }
  std::string error;
  if (body != nullptr && !body->WriteTo(connection, timeout, block_size, &error)) {
    SetError(error);
    return false;
  }
  return true;
}

}  // namespace orin
