// Exported interface: network connections and the HTTP client
// (ztNetwork_*, ztHTTPResponse_*, zeto_network_*).
//
// A connection handle is a NetworkConnection and a response handle an
// HttpResponse, both made through the run's NetworkManager and owned by the
// library until it closes them. A failure to connect or to send leaves its
// text in the manager, where the error functions find it when they are
// given no handle.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "libraries/exports.h"
#include "network/http_response.h"
#include "network/network_connection.h"
#include "network/network_manager.h"
#include "platform/tcp_client.h"
#include "util/ascii.h"
#include "variables/variable.h"
#include "variables/variable_list.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

using namespace orin;

namespace {

bool IsIPv4(std::string_view text) {
  int parts = 0;
  size_t i = 0;
  while (i <= text.size()) {
    size_t dot = text.find('.', i);
    std::string_view part = text.substr(i, dot == std::string_view::npos ? dot : dot - i);
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255 || (part.size() > 1 && part[0] == '0')) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    i = dot + 1;
  }
  return parts == 4;
}

// RFC 4291 text forms: up to eight groups of hex digits, one "::", an
// optional dotted IPv4 tail.
bool IsIPv6(std::string_view text) {
  if (text.size() < 2) return false;
  size_t compress = text.find("::");
  if (compress != std::string_view::npos && text.find("::", compress + 1) != std::string_view::npos)
    return false;
  int groups = 0;
  size_t i = 0;
  if (compress == 0) i = 2;
  while (i < text.size()) {
    size_t colon = text.find(':', i);
    std::string_view group = text.substr(i, colon == std::string_view::npos ? colon : colon - i);
    if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
      if (!IsIPv4(group)) return false;
      groups += 2;
      break;
    }
    if (group.empty() || group.size() > 4) return false;
    for (char c : group) {
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
        return false;
    }
    ++groups;
    if (colon == std::string_view::npos) break;
    i = colon + 1;
    if (i == compress + 1) ++i;  // skip the second colon of "::"
    if (i == text.size() && compress != std::string_view::npos && compress == text.size() - 2)
      break;
  }
  return compress != std::string_view::npos ? groups < 8 : groups == 8;
}

// Longest line a plug-in's connection accepts: a peer that never sends a
// line feed must not grow the host's memory without end.
constexpr int32_t kMaxLine = 1 << 20;
// Block size of line reads.
constexpr int32_t kLineChunk = 512;

// Hands a new connection to the library, which closes it.
ztNetworkConnection* Adopted(std::unique_ptr<NetworkConnection> c) {
  if (c) c->set_line_limit(kMaxLine);
  return Handle(c.release());
}

NetworkManager* Network(ztProgram* program) {
  if (program == nullptr) return nullptr;
  ZetoApplication* application = Host(program)->application();
  return application != nullptr ? application->GetNetworkManager() : nullptr;
}

bool ValidPort(NetworkManager* network, int32_t port) {
  if (port > 0 && port <= 65535) return true;
  network->SetError("Invalid port " + std::to_string(port));
  return false;
}

const char kNoNetwork[] = "Network connections are not available to this program";

// A borrowed error text with its length; never null.
const char* Borrowed(const std::string* text, int32_t* length) {
  const char* result = text != nullptr ? text->c_str() : kNoNetwork;
  if (length != nullptr)
    *length = text != nullptr ? Length32(text->size()) : Length32(sizeof kNoNetwork - 1);
  return result;
}

// Copies `text` into a caller's buffer of `size` bytes, NUL-terminated and
// cut to size - 1; returns the copied length (-1 without room for the NUL).
int32_t CopyOut(std::string_view text, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return -1;
  size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int32_t>(n);
}

// Headers the request writer sends itself, from the URL and the body.
bool WriterHeader(std::string_view name) {
  for (std::string_view own : {"Host", "Content-Length", "Transfer-Encoding", "Connection"}) {
    if (EqualsNoCase(name, own)) return true;
  }
  return false;
}

// "name: value" lines of a header list. False (with *bad naming the
// header) when a name is empty, holds a colon, is one the writer sends
// itself, or either side holds a line break, which would let a value
// smuggle in lines of its own. A Content-Type entry is taken out: the
// request writer sends it with the body's length.
bool HeaderLines(VariableList* headers, std::string* lines, std::string* content_type,
                 std::string* bad) {
  if (headers == nullptr) return true;
  for (uint32_t i = 0; i < headers->Entries(); ++i) {
    Variable* v = headers->At(i);
    std::string_view name = v->Name().view();
    std::string_view value = v->Value().view();
    auto breaks = [](std::string_view t) { return t.find_first_of("\r\n") != t.npos; };
    if (name.empty() || breaks(name) || breaks(value) || name.find(':') != name.npos ||
        WriterHeader(name)) {
      bad->assign(name);
      return false;
    }
    if (EqualsNoCase(name, "Content-Type")) {
      content_type->assign(value);
      continue;
    }
    lines->append(name).append(": ").append(value).append("\r\n");
  }
  return true;
}

}  // namespace

extern "C" {

ztNetworkConnection* ztNetwork_Connect(ztProgram* program, const char* host, int32_t host_length,
                                       int32_t port, int32_t timeout) {
  NetworkManager* network = Network(program);
  if (network == nullptr || host == nullptr || !ValidPort(network, port)) return nullptr;
  return Adopted(network->Connect(std::string(MeasuredText(host, host_length)), port, timeout));
}

// `verify` forces verification and the host name check for this
// connection even where "securityoptions" turns them off; 0 keeps what
// the settings say.
ztNetworkConnection* ztNetwork_Connect_SSL(ztProgram* program, const char* host,
                                           int32_t host_length, int32_t port, int32_t timeout,
                                           int verify) {
  NetworkManager* network = Network(program);
  if (network == nullptr || host == nullptr || !ValidPort(network, port)) return nullptr;
  std::string name(MeasuredText(host, host_length));
  std::unique_ptr<NetworkConnection> connection = network->Connect(name, port, timeout);
  if (!connection) return nullptr;
  if (!network->StartTls(connection.get(), name, TlsOptions(), timeout,
                         verify != 0 ? kNetworkForceVerify : 0))
    return nullptr;
  return Adopted(std::move(connection));
}

ztNetworkConnection* ztNetwork_Open_URL(ztProgram* program, const char* url, int32_t url_length,
                                        int32_t timeout) {
  NetworkManager* network = Network(program);
  if (network == nullptr || url == nullptr) return nullptr;
  std::string_view text = MeasuredText(url, url_length);
  UrlParts parts;
  if (!network->SplitUrl(text, &parts)) return nullptr;
  std::unique_ptr<NetworkConnection> connection =
      network->OpenUrl(parts.scheme, parts.host, parts.port, TlsOptions(), timeout, 0);
  if (!connection) {
    network->SetError("Unable to open URL '" + std::string(text) + "': " + network->ErrorText());
    return nullptr;
  }
  return Adopted(std::move(connection));
}

void ztNetwork_Close(ztNetworkConnection* connection) {
  delete Host(connection);
}

int32_t ztNetwork_Read(ztNetworkConnection* connection, char* buffer, int32_t size,
                       int32_t timeout) {
  if (connection == nullptr) return -1;
  if (buffer == nullptr || size < 0) {
    Host(connection)->SetError("Invalid buffer");
    return -1;
  }
  return Host(connection)->Read(buffer, size, timeout);
}

int32_t ztNetwork_Read_Line(ztNetworkConnection* connection, ztVariable* line, int32_t timeout) {
  if (connection == nullptr || line == nullptr) return -1;
  std::string text;
  int32_t n = Host(connection)->ReadLine(&text, timeout, kLineChunk);
  if (n < 0) return -1;
  Host(line)->SetValue(text.data(), static_cast<int64_t>(text.size()));
  return Length32(text.size());
}

int32_t ztNetwork_Write(ztNetworkConnection* connection, const char* bytes, int32_t length,
                        int32_t timeout) {
  if (connection == nullptr) return -1;
  if (bytes == nullptr && length != 0) {
    Host(connection)->SetError("Invalid buffer");
    return -1;
  }
  std::string_view text = MeasuredText(bytes, length);
  return Host(connection)->Write(text.data(), Length32(text.size()), timeout);
}

const char* ztNetwork_Error(ztProgram* program, ztNetworkConnection* connection, int32_t* length) {
  if (connection != nullptr) return Borrowed(&Host(connection)->ErrorText(), length);
  NetworkManager* network = Network(program);
  return Borrowed(network != nullptr ? &network->ErrorText() : nullptr, length);
}

int ztNetwork_Get_Host_Address(ztProgram* program, const char* host, int32_t host_length,
                               char* buffer, int32_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  NetworkManager* network = Network(program);
  if (network == nullptr || host == nullptr) return -1;
  std::string address;
  if (!network->ResolveToText(std::string(MeasuredText(host, host_length)), &address)) return -1;
  CopyOut(address, buffer, size);
  return 0;
}

int ztNetwork_Is_IP_Address(const char* text, int32_t length) {
  std::string_view t = MeasuredText(text, length);
  return IsIPv4(t) || IsIPv6(t) ? 1 : 0;
}

int ztNetwork_Is_IPv4_Address(const char* text, int32_t length) {
  return IsIPv4(MeasuredText(text, length)) ? 1 : 0;
}

int ztNetwork_Is_IPv6_Address(const char* text, int32_t length) {
  return IsIPv6(MeasuredText(text, length)) ? 1 : 0;
}

// The canonical text ("0:0::1" becomes "::1"); -1 when the text is no
// address or the buffer cannot hold all of it.
int32_t ztNetwork_Normalize_IP_Address(const char* text, int32_t length, char* buffer,
                                       int32_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  std::string_view t = MeasuredText(text, length);
  uint8_t bytes[16];
  std::string canonical;
  if (IsIPv4(t) && ParseIPv4Text(t, bytes)) {
    canonical = IPv4BytesToText(bytes);
  } else if (IsIPv6(t) && ParseIPv6Text(t, bytes)) {
    canonical = IPv6BytesToText(bytes);
  } else {
    return -1;
  }
  if (buffer == nullptr || size <= 0 || canonical.size() >= static_cast<size_t>(size)) return -1;
  return CopyOut(canonical, buffer, size);
}

ztHTTPResponse* ztNetwork_HTTP_Request(ztProgram* program, const char* method,
                                       int32_t method_length, const char* url, int32_t url_length,
                                       ztVariableList* headers, const char* body,
                                       int32_t body_length, int32_t timeout) {
  NetworkManager* network = Network(program);
  if (network == nullptr) return nullptr;
  std::string_view target = MeasuredText(url, url_length);
  if (target.empty()) {
    network->SetError("Invalid URL");
    return nullptr;
  }
  std::string_view verb = MeasuredText(method, method_length);
  if (verb.find_first_of(" \r\n") != verb.npos) {
    network->SetError("Invalid method '" + std::string(verb) + "'");
    return nullptr;
  }
  std::string lines, content_type, bad;
  if (!HeaderLines(Host(headers), &lines, &content_type, &bad)) {
    network->SetError("Invalid header '" + bad + "'");
    return nullptr;
  }
  std::string content;
  if (body != nullptr) content.assign(MeasuredText(body, body_length));
  if (body != nullptr && content_type.empty()) content_type = "text/plain";
  std::unique_ptr<HttpResponse> response =
      HttpResponse::Request(network, target, verb, content_type, body ? &content : nullptr, lines,
                            TlsOptions(), timeout, 0);
  if (response->StatusCode() < 0) {
    network->SetError(response->ErrorText());
    return nullptr;
  }
  return Handle(response.release());
}

int32_t ztHTTPResponse_Status_Code(ztHTTPResponse* response) {
  return response != nullptr ? Host(response)->StatusCode() : -1;
}

int64_t ztHTTPResponse_Content_Length(ztHTTPResponse* response) {
  return response != nullptr ? Host(response)->ContentLength() : -1;
}

int32_t ztHTTPResponse_Read(ztHTTPResponse* response, char* buffer, int32_t size) {
  if (response == nullptr || buffer == nullptr || size < 0) return -1;
  return Host(response)->Read(buffer, size);
}

const char* ztHTTPResponse_Error(ztProgram* program, ztHTTPResponse* response, int32_t* length) {
  if (response != nullptr) return Borrowed(&Host(response)->ErrorText(), length);
  NetworkManager* network = Network(program);
  return Borrowed(network != nullptr ? &network->ErrorText() : nullptr, length);
}

void ztHTTPResponse_Close(ztHTTPResponse* response) {
  delete Host(response);
}

// --- Old family ---

ztNetworkConnection* zeto_network_connect(ztProgram* program, const char* host, int32_t port,
                                          int32_t timeout) {
  return ztNetwork_Connect(program, host, -1, port, timeout);
}

ztNetworkConnection* zeto_network_openurl(ztProgram* program, const char* url, int32_t timeout) {
  return ztNetwork_Open_URL(program, url, -1, timeout);
}

void zeto_network_close(ztNetworkConnection* connection) {
  ztNetwork_Close(connection);
}

int32_t zeto_network_read(ztNetworkConnection* connection, char* buffer, int32_t size,
                          int32_t timeout) {
  return ztNetwork_Read(connection, buffer, size, timeout);
}

// The rest of a line longer than the buffer is read and dropped.
int32_t zeto_network_readline(ztNetworkConnection* connection, char* buffer, int32_t size,
                              int32_t timeout) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  if (connection == nullptr) return -1;
  std::string text;
  if (Host(connection)->ReadLine(&text, timeout, kLineChunk) < 0) return -1;
  return CopyOut(text, buffer, size);
}

int32_t zeto_network_write(ztNetworkConnection* connection, const char* text, int32_t timeout) {
  return ztNetwork_Write(connection, text, -1, timeout);
}

const char* zeto_network_error(ztProgram* program, ztNetworkConnection* connection) {
  return ztNetwork_Error(program, connection, nullptr);
}

int zeto_network_gethostaddress(ztProgram* program, const char* host, char* buffer, int32_t size) {
  return ztNetwork_Get_Host_Address(program, host, -1, buffer, size);
}

int zeto_network_isipaddress(const char* text) {
  return ztNetwork_Is_IP_Address(text, -1);
}

}  // extern "C"
