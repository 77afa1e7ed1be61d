#include "server/responses.h"

namespace orin {

namespace {

constexpr std::string_view kPageStart =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\r\n<HTML>\r\n<HEAD><TITLE>";
constexpr std::string_view kPageEnd = "\r\n</BODY>\r\n</HTML>";

// Status line, Server and Connection headers, no type or length: the
// closing connection ends the body.
std::string CannedPage(std::string_view status, std::string_view heading, std::string_view text) {
  std::string r;
  r.reserve(512 + text.size());
  r.append("HTTP/1.1 ").append(status).append("\r\n");
  r.append("Server: ").append(kServerSoftware).append("\r\n");
  r.append("Connection: close\r\n\r\n");
  r.append(kPageStart).append(status).append("</TITLE></HEAD>\r\n<BODY>\r\n<H1>");
  r.append(heading).append("</H1>\r\n").append(text).append(kPageEnd);
  return r;
}

}  // namespace

std::string BadRequestResponse(std::string_view reason) {
  std::string text = "Your browser sent an invalid HTTP request: ";
  text.append(reason);
  return CannedPage("400 Bad Request", "Bad Request", text);
}

std::string NotFoundResponse(std::string_view path) {
  std::string text = "The file '";
  text.append(path).append("' was not found on this server");
  return CannedPage("404 Not Found", "Not Found", text);
}

std::string ServerErrorResponse(std::string_view message) {
  return CannedPage("500 Internal Server Error", "Internal Server Error", message);
}

std::string StaticFileHead(std::string_view content_type, uint64_t length) {
  std::string r = "HTTP/1.1 200 OK\r\nContent-Type: ";
  r.append(content_type).append("\r\nContent-Length: ").append(std::to_string(length));
  r.append("\r\nConnection: close\r\n\r\n");
  return r;
}

}  // namespace orin
