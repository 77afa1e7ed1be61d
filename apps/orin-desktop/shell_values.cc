#include "shell_values.h"

#include "platform/socket.h"
#include "util/md5.h"

namespace orin {

using namespace config_key;

namespace {

std::string Text(OrinBaseConfig& config, uint32_t key) {
  return std::string(config.GetText(key));
}

}  // namespace

int32_t OptionsValues::SecurityOptions() const {
  int32_t bits =
      other_security_bits & ~(kSkipChainVerification | kSkipHostnameIdentity | kVerifyIpIdentity);
  if (!verify_chain) bits |= kSkipChainVerification;
  if (!verify_hostname) bits |= kSkipHostnameIdentity;
  if (verify_ip) bits |= kVerifyIpIdentity;
  return bits;
}

MainValues LoadMainValues(OrinBaseConfig& config) {
  MainValues v;
  v.port = config.port();
  v.zetoroot = Text(config, kDirZeto);
  v.datadir = Text(config, kDirData);
  v.defaultfile = Text(config, kDefaultFile);
  v.global_timeout = config.GetInt(kTimeoutGlobal);
  v.mail_timeout = config.GetInt(kTimeoutMail);
  v.call_timeout = config.GetInt(kTimeoutCall);
  v.show_dialog = config.show_dialog() != 0;
  return v;
}

void StoreMainValues(const MainValues& v, OrinBaseConfig* config) {
  *config->PortField() = v.port;
  config->SetText(kDirZeto, v.zetoroot);
  config->SetText(kDirData, v.datadir);
  config->SetText(kDefaultFile, v.defaultfile);
  config->SetInt(kTimeoutGlobal, v.global_timeout);
  config->SetInt(kTimeoutMail, v.mail_timeout);
  config->SetInt(kTimeoutCall, v.call_timeout);
  *config->ShowDialogField() = v.show_dialog ? 1 : 0;
}

OptionsValues LoadOptionsValues(OrinBaseConfig& config) {
  OptionsValues v;
  v.use_cookies = config.GetInt(kCookies) != 0;
  int32_t security = config.GetInt(kFlagsSecurity);
  v.verify_chain = (security & kSkipChainVerification) == 0;
  v.verify_hostname = (security & kSkipHostnameIdentity) == 0;
  v.verify_ip = (security & kVerifyIpIdentity) != 0;
  v.other_security_bits = security;
  v.max_post_vars = config.GetInt(kMaxPostVars);
  v.post_timeout = config.GetInt(kTimeoutPost);
  v.socks_version = config.GetInt(kSocksVersion) == 5 ? 5 : 4;
  v.socks_host = Text(config, kSocksHost);
  v.socks_port = config.GetInt(kSocksPort);
  v.socks_username = Text(config, kSocksUsername);
  v.socks_password = Text(config, kSocksPassword);
  return v;
}

void StoreOptionsValues(const OptionsValues& v, OrinBaseConfig* config) {
  config->SetInt(kCookies, v.use_cookies ? 1 : 0);
  config->SetInt(kFlagsSecurity, v.SecurityOptions());
  config->SetInt(kMaxPostVars, v.max_post_vars);
  config->SetInt(kTimeoutPost, v.post_timeout);
  config->SetInt(kSocksVersion, v.socks_version == 5 ? 5 : 4);
  config->SetText(kSocksHost, v.socks_host);
  config->SetInt(kSocksPort, v.socks_port);
  config->SetText(kSocksUsername, v.socks_username);
  config->SetText(kSocksPassword, v.socks_password);
}

SslValues LoadSslValues(OrinBaseConfig& config) {
  return {Text(config, kSslOpenssl), Text(config, kSslCrypto), Text(config, kSslConfig)};
}

void StoreSslValues(const SslValues& v, OrinBaseConfig* config) {
  config->SetText(kSslOpenssl, v.openssl);
  config->SetText(kSslCrypto, v.crypto);
  config->SetText(kSslConfig, v.config);
}

DebugLogValues LoadDebugLogValues(OrinBaseConfig& config) {
  DebugLogValues v;
  v.logfile = Text(config, kLogFile);
  v.logfilter = Text(config, kLogFilter);
  v.logcookie = Text(config, kLogCookie);
  v.loglevel = static_cast<uint32_t>(config.GetInt(kLogLevel));
  return v;
}

void StoreDebugLogValues(const DebugLogValues& v, OrinBaseConfig* config) {
  config->SetText(kLogFile, v.logfile);
  config->SetText(kLogFilter, v.logfilter);
  config->SetText(kLogCookie, v.logcookie);
  config->SetInt(kLogLevel, static_cast<int32_t>(v.loglevel));
}

void StoreLibraries(const std::vector<LibraryEntry>& libraries, OrinConfigLoader* config) {
  config->ClearLibraries();
  for (const LibraryEntry& l : libraries) {
    switch (l.kind) {
      case kLibraryBuiltin:
        config->AddBuiltinLibrary(l.path);
        break;
      case kLibraryDatabase:
        config->AddDatabaseLibrary(l.name, l.path);
        break;
      case kLibraryCommerce:
        config->AddCommerceLibrary(l.name, l.path);
        break;
      case kLibrarySystem:
        config->AddSystemLibrary(l.name, l.path);
        break;
    }
  }
}

void StoreErrorSettings(const std::vector<ErrorSettingEntry>& settings, OrinConfigLoader* config) {
  config->ClearErrorSettings();
  for (const ErrorSettingEntry& e : settings)
    config->SetErrorSetting(e.name, e.value);
}

std::string HomePageAddress(int port) {
  std::string address = "http://127.0.0.1";
  if (port != 80) address += ":" + std::to_string(port);
  return address;
}

int ProposeFreePort() {
  for (int port = 8000; port <= 8099; ++port) {
    if (!TcpPortInUse(port)) return port;
  }
  return 8100;
}

std::string LogCookieFromUuid(const std::string& uuid) {
  return HexLower(Md5::Digest(uuid));
}

const char* LibraryKindName(int32_t kind) {
  switch (kind) {
    case kLibraryBuiltin:
      return "Builtin";
    case kLibraryDatabase:
      return "Database";
    case kLibraryCommerce:
      return "Commerce";
    case kLibrarySystem:
      return "System";
  }
  return "";
}

std::string LibraryVersionFromPath(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t so = name.find(".so.");
  return so == std::string::npos ? std::string() : name.substr(so + 4);
}

}  // namespace orin
