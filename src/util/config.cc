#include "util/config.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "util/ascii.h"
#include "util/byte_string.h"

namespace orin {

namespace {

using namespace config_key;

constexpr ConfigKeyName kNames[] = {
    {kDirZeto, "zetoroot", "dir_zeto", true},
    {kDirCommerce, nullptr, "dir_commerce", false},
    {kDirTemp, nullptr, "dir_temp", false},
    {kDirData, "datadir", "dir_data", true},
    {kLogLevel, "loglevel", "log_level", true},
    {kLogFile, "logfile", "log_file", true},
    {kTimeoutGlobal, "globaltimeout", "timeout_global", true},
    {kTimeoutMail, "mailtimeout", "timeout_mail", true},
    {kTimeoutCall, "calltimeout", "timeout_call", true},
    {kTimeoutFile, "filetimeout", "timeout_file", true},
    {kDelayFile, "filedelay", "delay_file", true},
    {kCookies, "usecookies", "cookies", true},
    {kBufszImport, nullptr, "bufsz_import", false},
    {kBufszTemplate, nullptr, "bufsz_template", false},
    {kBufszCall, nullptr, "bufsz_call", false},
    {kBufszSmtp, nullptr, "bufsz_smtp", false},
    {kBufszContent, nullptr, "bufsz_content", false},
    {kBufszOutput, nullptr, "bufsz_output", false},
    {kMaxFiles, "maxfiles", "max_files", true},
    {kLockExpiration, "lockexpiration", "lock_expiration", true},
    {kLockHostname, nullptr, "lock_hostname", false},
    {kDirCa, "cadir", "dir_ca", true},
    {kDefaultFile, "defaultfile", "default_file", true},
    {kFlagsSecurity, "securityoptions", "flags_security", true},
    {kDirUser, nullptr, "dir_user", false},
    {kInfoServerAdmin, "serveradmin", "info_serveradmin", true},
    {kSslOpenssl, "openssl", "ssl_openssl", true},
    {kSslCrypto, "openssl_crypto", "ssl_crypto", true},
    {kSslConfig, "sslconfig", "ssl_config", true},
    {kBufszOutputFlush, nullptr, "bufsz_output_flush", false},
    {kDirBuiltin, nullptr, "dir_builtin", false},
    {kMaxDoCache, "maxdocache", "max_docache", false},
    {kLogFilter, "logfilter", "log_filter", true},
    {kTimeoutPost, "posttimeout", "timeout_post", true},
    {kMaxPostVars, "maxpostvars", "max_post_vars", true},
    {kMaxUnknownContentLength, "maxunknowncontentlength", "max_unknown_content_length", false},
    {kLogCookie, "logcookie", "log_cookie", true},
    {kSslSni, "usesni", "ssl_sni", false},
    {kMaxAsyncTasks, "maxasynctasks", "max_async_tasks", false},
    {kTimeoutAsync, "asynctimeout", "timeout_async", false},
    {kTimeoutAsyncSleep, "asyncsleeptimeout", "timeout_async_sleep", false},
    {kFileCa, "cafile", "file_ca", true},
    {kErrorSyslog, "errorsyslog", "error_syslog", false},
    {kErrorSyslogIdent, "errorsyslogident", "error_syslog_ident", false},
    {kErrorSyslogFacility, nullptr, "error_syslog_facility", false},
    {kErrorSyslogPriority, nullptr, "error_syslog_priority", false},
    {kSocksVersion, "socksversion", "socks_version", true},
    {kSocksHost, "sockshost", "socks_host", true},
    {kSocksPort, "socksport", "socks_port", true},
    {kSocksUsername, "socksusername", "socks_username", true},
    {kSocksPassword, "sockspassword", nullptr, true},
    {kSlowRequestSyslog, "slowrequestsyslog", "slowrequest_syslog", false},
    {kSlowRequestSyslogIdent, "slowrequestsyslogident", "slowrequest_syslog_ident", false},
    {kSlowRequestSyslogFacility, nullptr, "slowrequest_syslog_facility", false},
    {kSlowRequestSyslogPriority, nullptr, "slowrequest_syslog_priority", false},
    {kEnableDeprecated, "enable_deprecated", "enable_deprecated", false},
    {kTimeoutHeader, "headertimeout", nullptr, false},
};

// Integer defaults; every integer key has one.
int32_t IntDefault(uint32_t key, bool* found) {
  *found = true;
  switch (key) {
    case kTimeoutGlobal:
    case kLockExpiration:
      return 90;
    case kTimeoutMail:
    case kTimeoutCall:
    case kTimeoutFile:
    case kTimeoutPost:
    case kTimeoutHeader:
      return 30;
    case kDelayFile:
      return 100;
    case kBufszImport:
    case kBufszTemplate:
    case kBufszCall:
    case kBufszSmtp:
    case kBufszContent:
    case kBufszOutput:
      return 8192;
    case kBufszOutputFlush:
    case kMaxUnknownContentLength:
      return 1048576;
    case kMaxPostVars:
      return 2000;
    case kSslSni:
      return -1;
    case kTimeoutAsync:
      return 3600;
    case kTimeoutAsyncSleep:
      return 86400;
    case kSocksVersion:
      return 4;
    case kSocksPort:
      return 1080;
    case kLogLevel:
    case kCookies:
    case kMaxFiles:
    case kFlagsSecurity:
    case kMaxDoCache:
    case kMaxAsyncTasks:
    case kSlowRequestSyslog:
      return 0;
    default:
      *found = false;
      return 0;
  }
}

// Text defaults. The directories come from the application's configuration,
// which knows the user's home.
const char* TextDefault(uint32_t key) {
  switch (key) {
    case kDefaultFile:
      return "index.ztc";
    case kDirUser:
      return "public_pgs";
    case kInfoServerAdmin:
      return "webmaster@localhost";
    case kSslOpenssl:
      return "libssl.so";
    case kSslCrypto:
      return "libcrypto.so";
    case kErrorSyslogIdent:
    case kSlowRequestSyslogIdent:
      return "Zeto";
    default:
      return nullptr;
  }
}

// The table key: the key's 4 bytes, least significant first.
struct KeyBytes {
  explicit KeyBytes(uint32_t key) {
    for (int i = 0; i < 4; ++i)
      bytes[i] = static_cast<char>(key >> (8 * i));
  }
  std::string_view view() const { return std::string_view(bytes, 4); }
  char bytes[4];
};

char* CopyBytes(const char* text, size_t length) {
  char* p = static_cast<char*>(std::malloc(length + 1));
  if (p == nullptr) throw std::bad_alloc();
  if (length > 0) std::memcpy(p, text, length);
  p[length] = 0;
  return p;
}

uint32_t FindKey(std::string_view name, const char* ConfigKeyName::*field) {
  for (const ConfigKeyName& n : kNames) {
    if (n.*field != nullptr && EqualsNoCase(name, n.*field)) return n.key;
  }
  return 0;
}

}  // namespace

std::span<const ConfigKeyName> ConfigKeyNames() {
  return kNames;
}

uint32_t ConfigKeyByValueName(std::string_view name) {
  return FindKey(name, &ConfigKeyName::value_name);
}

uint32_t ConfigKeyByMemberName(std::string_view name) {
  return FindKey(name, &ConfigKeyName::member_name);
}

ConfigValue::~ConfigValue() {
  if (owns_text) std::free(const_cast<char*>(text));
}

Config::Config() : values_(12, false) {}

Config::Config(const Config& other) : values_(12, false) {
  other.values_.ForEach([this](std::string_view, const std::unique_ptr<ConfigValue>& v) {
    auto copy = std::make_unique<ConfigValue>(v->key, v->value);
    if (v->text != nullptr) {
      copy->text = CopyBytes(v->text, static_cast<size_t>(v->length));
      copy->length = v->length;
      copy->owns_text = true;
    }
    Store(std::move(copy));
  });
}

Config::~Config() = default;

ConfigValue* Config::Lookup(uint32_t key) {
  KeyBytes k(key);
  if (auto* found = values_.Find(k.view())) return found->get();
  ConfigValue* d = CreateDefault(key);
  if (d == nullptr) return nullptr;
  return values_.Set(k.view(), std::unique_ptr<ConfigValue>(d)).get();
}

void Config::Store(std::unique_ptr<ConfigValue> v) {
  KeyBytes k(v->key);
  values_.Set(k.view(), std::move(v));
}

void Config::Reset(uint32_t key) {
  values_.Remove(KeyBytes(key).view());
}

int32_t Config::GetInt(uint32_t key) {
  if (!IsIntConfigKey(key)) return -1;
  ConfigValue* v = Lookup(key);
  return v ? v->value : -1;
}

const char* Config::GetString(uint32_t key, int32_t* length) {
  ConfigValue* v = IsTextConfigKey(key) ? Lookup(key) : nullptr;
  if (v == nullptr || v->text == nullptr) {
    if (length) *length = 0;
    return nullptr;
  }
  if (length) *length = v->length;
  return v->text;
}

int32_t Config::SetString(uint32_t key, const char* text, int32_t length, bool owns) {
  if (!IsTextConfigKey(key)) {
    if (owns) std::free(const_cast<char*>(text));
    return 0;
  }
  if (text == nullptr) {
    length = 0;
    owns = false;
  } else {
    length = static_cast<int32_t>(MeasuredText(text, length).size());
  }
  if (text != nullptr && !owns) {
    text = CopyBytes(text, static_cast<size_t>(length));
    owns = true;
  }
  Store(std::make_unique<ConfigValue>(key, text, length, owns));
  return 1;
}

int32_t Config::SetInt(uint32_t key, int32_t value) {
  if (!IsIntConfigKey(key)) return 0;
  Store(std::make_unique<ConfigValue>(key, value));
  return 1;
}

ConfigValue* Config::CreateDefault(uint32_t key) {
  if (IsIntConfigKey(key)) {
    bool found;
    int32_t v = IntDefault(key, &found);
    if (found) return new ConfigValue(key, v);
  }
  if (IsTextConfigKey(key)) {
    if (const char* t = TextDefault(key)) return StaticText(key, t);
  }
  return nullptr;
}

ConfigValue* Config::StaticText(uint32_t key, std::string_view text) {
  return new ConfigValue(key, text.data(), static_cast<int32_t>(text.size()), false);
}

ConfigValue* Config::CopiedText(uint32_t key, std::string_view text) {
  return new ConfigValue(key, CopyBytes(text.data(), text.size()),
                         static_cast<int32_t>(text.size()), true);
}

}  // namespace orin
