// The values the settings windows edit, as plain copies of the shell's
// configuration: a dialog works on its copy and hands it back only on OK.
#ifndef ORIN_APPS_ORIN_DESKTOP_SHELL_VALUES_H_
#define ORIN_APPS_ORIN_DESKTOP_SHELL_VALUES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/orin_config_loader.h"

namespace orin {

// Bits of `securityoptions` the Options check boxes stand for.
constexpr int32_t kSkipChainVerification = 0x1000;
constexpr int32_t kSkipHostnameIdentity = 0x2000;
constexpr int32_t kVerifyIpIdentity = 0x4000;

struct MainValues {
  int32_t port = 80;
  std::string zetoroot;
  std::string datadir;
  std::string defaultfile;
  int32_t global_timeout = 0;
  int32_t mail_timeout = 0;
  int32_t call_timeout = 0;
  bool show_dialog = true;
};

struct OptionsValues {
  bool use_cookies = false;
  bool verify_chain = true;
  bool verify_hostname = true;
  bool verify_ip = false;
  int32_t other_security_bits = 0;  // bits no check box shows, kept as they are
  int32_t max_post_vars = 0;
  int32_t post_timeout = 0;
  int32_t socks_version = 4;
  std::string socks_host;
  int32_t socks_port = 1080;
  std::string socks_username;
  std::string socks_password;

  int32_t SecurityOptions() const;
};

struct SslValues {
  std::string openssl;
  std::string crypto;
  std::string config;
};

struct DebugLogValues {
  std::string logfile;
  std::string logfilter;
  std::string logcookie;
  uint32_t loglevel = 0;
};

MainValues LoadMainValues(OrinBaseConfig& config);
void StoreMainValues(const MainValues& v, OrinBaseConfig* config);
OptionsValues LoadOptionsValues(OrinBaseConfig& config);
void StoreOptionsValues(const OptionsValues& v, OrinBaseConfig* config);
SslValues LoadSslValues(OrinBaseConfig& config);
void StoreSslValues(const SslValues& v, OrinBaseConfig* config);
DebugLogValues LoadDebugLogValues(OrinBaseConfig& config);
void StoreDebugLogValues(const DebugLogValues& v, OrinBaseConfig* config);

// Replaces the loader's lists (saved separately with SaveLibraries and
// SaveErrorSettings).
void StoreLibraries(const std::vector<LibraryEntry>& libraries, OrinConfigLoader* config);
void StoreErrorSettings(const std::vector<ErrorSettingEntry>& settings, OrinConfigLoader* config);

// "http://127.0.0.1" and, unless the port is 80, ":" and the port.
std::string HomePageAddress(int port);
// The first port from 8000 to 8099 that no socket holds; 8100 when all do.
int ProposeFreePort();
// 32 lower-case hexadecimal characters: the MD5 digest of `uuid` (16 bytes).
std::string LogCookieFromUuid(const std::string& uuid);
// What the library list shows for a type.
const char* LibraryKindName(int32_t kind);
// The version a library file's name carries ("libx.so.1.2" -> "1.2"), or "".
std::string LibraryVersionFromPath(const std::string& path);

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_SHELL_VALUES_H_
