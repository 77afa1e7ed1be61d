// Exported interface: network connections and the HTTP client
// (ztNetwork_*, ztHTTPResponse_*, zeto_network_*).
//
// This build has no network layer yet: connecting fails and the error
// functions say why; the address predicates, which need no connection,
// answer for real.
#include <cstring>
#include <string>

#include "libraries/exports.h"

using namespace orin;

namespace {

const char kUnavailable[] = "Network connections are not available in this build";

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

const char* Unavailable(int32_t* length) {
  if (length != nullptr) *length = static_cast<int32_t>(sizeof kUnavailable - 1);
  return kUnavailable;
}

}  // namespace

extern "C" {

ztNetworkConnection* ztNetwork_Connect(ztProgram*, const char*, int32_t, int32_t, int32_t) {
  return nullptr;
}

ztNetworkConnection* ztNetwork_Connect_SSL(ztProgram*, const char*, int32_t, int32_t, int32_t,
                                           int) {
  return nullptr;
}

ztNetworkConnection* ztNetwork_Open_URL(ztProgram*, const char*, int32_t, int32_t) {
  return nullptr;
}

void ztNetwork_Close(ztNetworkConnection*) {}

int32_t ztNetwork_Read(ztNetworkConnection*, char*, int32_t, int32_t) {
  return -1;
}

int32_t ztNetwork_Read_Line(ztNetworkConnection*, ztVariable*, int32_t) {
  return -1;
}

int32_t ztNetwork_Write(ztNetworkConnection*, const char*, int32_t, int32_t) {
  return -1;
}

const char* ztNetwork_Error(ztProgram*, ztNetworkConnection*, int32_t* length) {
  return Unavailable(length);
}

int ztNetwork_Get_Host_Address(ztProgram*, const char*, int32_t, char* buffer, int32_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return -1;
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

int32_t ztNetwork_Normalize_IP_Address(const char*, int32_t, char* buffer, int32_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return -1;
}

ztHTTPResponse* ztNetwork_HTTP_Request(ztProgram*, const char*, int32_t, const char*, int32_t,
                                       ztVariableList*, const char*, int32_t, int32_t) {
  return nullptr;
}

int32_t ztHTTPResponse_Status_Code(ztHTTPResponse*) {
  return -1;
}

int64_t ztHTTPResponse_Content_Length(ztHTTPResponse*) {
  return -1;
}

int32_t ztHTTPResponse_Read(ztHTTPResponse*, char*, int32_t) {
  return -1;
}

const char* ztHTTPResponse_Error(ztProgram*, ztHTTPResponse*, int32_t* length) {
  return Unavailable(length);
}

void ztHTTPResponse_Close(ztHTTPResponse*) {}

// --- Old family ---

ztNetworkConnection* zeto_network_connect(ztProgram*, const char*, int32_t, int32_t) {
  return nullptr;
}

ztNetworkConnection* zeto_network_openurl(ztProgram*, const char*, int32_t) {
  return nullptr;
}

void zeto_network_close(ztNetworkConnection*) {}

int32_t zeto_network_read(ztNetworkConnection*, char*, int32_t, int32_t) {
  return -1;
}

int32_t zeto_network_readline(ztNetworkConnection*, char* buffer, int32_t size, int32_t) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return -1;
}

int32_t zeto_network_write(ztNetworkConnection*, const char*, int32_t) {
  return -1;
}

const char* zeto_network_error(ztProgram*, ztNetworkConnection*) {
  return kUnavailable;
}

int zeto_network_gethostaddress(ztProgram* program, const char* host, char* buffer, int32_t size) {
  return ztNetwork_Get_Host_Address(program, host, -1, buffer, size);
}

int zeto_network_isipaddress(const char* text) {
  return ztNetwork_Is_IP_Address(text, -1);
}

}  // extern "C"
