// Config: typed settings addressed by 32-bit keys, each with a built-in
// default.
//
// A key is (kind << 24) | index: kind bit 24 marks an integer setting, bit
// 25 a text setting. The same index may exist as both kinds, as two distinct
// keys (0x1D is bufsz_output_flush as an integer and sslconfig as a text).
//
// Values live in a HashTable keyed by the 4 bytes of the key. A lookup that
// misses asks CreateDefault; a default that exists is inserted, so it is
// built once. Subclasses add defaults by overriding CreateDefault and
// falling back to the base class. A Config is used by one thread.
//
// The order of the virtual operations is fixed: libraries call through it.
#ifndef ORIN_UTIL_CONFIG_H_
#define ORIN_UTIL_CONFIG_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "util/hash_table.h"

namespace orin {

constexpr uint32_t kConfigIntKind = 0x01000000;
constexpr uint32_t kConfigTextKind = 0x02000000;

inline bool IsIntConfigKey(uint32_t key) {
  return (key & kConfigIntKind) != 0;
}
inline bool IsTextConfigKey(uint32_t key) {
  return (key & kConfigTextKind) != 0;
}

// Every setting key, named after the member of the scripts' "zeto_config"
// structure that shows it (the SOCKS password has no member).
namespace config_key {
constexpr uint32_t kDirZeto = 0x02000001;
constexpr uint32_t kDirCommerce = 0x02000002;
constexpr uint32_t kDirTemp = 0x02000003;
constexpr uint32_t kDirData = 0x02000004;
constexpr uint32_t kLogLevel = 0x01000005;
constexpr uint32_t kLogFile = 0x02000006;
constexpr uint32_t kTimeoutGlobal = 0x01000007;
constexpr uint32_t kTimeoutMail = 0x01000008;
constexpr uint32_t kTimeoutCall = 0x01000009;
constexpr uint32_t kTimeoutFile = 0x0100000A;
constexpr uint32_t kDelayFile = 0x0100000B;
constexpr uint32_t kCookies = 0x0100000C;
constexpr uint32_t kBufszImport = 0x0100000D;
constexpr uint32_t kBufszTemplate = 0x0100000E;
constexpr uint32_t kBufszCall = 0x0100000F;
constexpr uint32_t kBufszSmtp = 0x01000010;
constexpr uint32_t kBufszContent = 0x01000011;
constexpr uint32_t kBufszOutput = 0x01000012;
constexpr uint32_t kMaxFiles = 0x01000013;
constexpr uint32_t kLockExpiration = 0x01000014;
constexpr uint32_t kLockHostname = 0x02000015;
constexpr uint32_t kDirCa = 0x02000016;
constexpr uint32_t kDefaultFile = 0x02000017;
constexpr uint32_t kFlagsSecurity = 0x01000018;
constexpr uint32_t kDirUser = 0x02000019;
constexpr uint32_t kInfoServerAdmin = 0x0200001A;
constexpr uint32_t kSslOpenssl = 0x0200001B;
constexpr uint32_t kSslCrypto = 0x0200001C;
constexpr uint32_t kSslConfig = 0x0200001D;
constexpr uint32_t kBufszOutputFlush = 0x0100001D;
constexpr uint32_t kDirBuiltin = 0x0200001E;
constexpr uint32_t kMaxDoCache = 0x01000021;
constexpr uint32_t kLogFilter = 0x02000025;
constexpr uint32_t kTimeoutPost = 0x01000026;
constexpr uint32_t kMaxPostVars = 0x01000027;
constexpr uint32_t kMaxUnknownContentLength = 0x01000028;
constexpr uint32_t kLogCookie = 0x02000028;
constexpr uint32_t kSslSni = 0x01000029;
constexpr uint32_t kMaxAsyncTasks = 0x01000030;
constexpr uint32_t kTimeoutAsync = 0x01000031;
constexpr uint32_t kTimeoutAsyncSleep = 0x01000032;
constexpr uint32_t kFileCa = 0x02000033;
constexpr uint32_t kErrorSyslog = 0x02000034;
constexpr uint32_t kErrorSyslogIdent = 0x02000035;
constexpr uint32_t kErrorSyslogFacility = 0x02000036;
constexpr uint32_t kErrorSyslogPriority = 0x02000037;
constexpr uint32_t kSocksVersion = 0x01000038;
constexpr uint32_t kSocksHost = 0x02000039;
constexpr uint32_t kSocksPort = 0x0100003A;
constexpr uint32_t kSocksUsername = 0x0200003B;
constexpr uint32_t kSocksPassword = 0x0200003C;
constexpr uint32_t kSlowRequestSyslog = 0x0100003D;
constexpr uint32_t kSlowRequestSyslogIdent = 0x0200003E;
constexpr uint32_t kSlowRequestSyslogFacility = 0x0200003F;
constexpr uint32_t kSlowRequestSyslogPriority = 0x02000040;
constexpr uint32_t kEnableDeprecated = 0x02000041;
// Seconds a client has for its whole request head (the server's own; no
// member in "zeto_config").
constexpr uint32_t kTimeoutHeader = 0x01000042;
}  // namespace config_key

// How a key is named outside the program: the value name in the settings
// file and the member of "zeto_config". Either may be null.
struct ConfigKeyName {
  uint32_t key;
  const char* value_name;
  const char* member_name;
  bool saved;  // written back when the settings are saved
};

// Every key, in key-table order.
std::span<const ConfigKeyName> ConfigKeyNames();
// The key of a settings-file value name or of a "zeto_config" member
// (letter case ignored), or 0.
uint32_t ConfigKeyByValueName(std::string_view name);
uint32_t ConfigKeyByMemberName(std::string_view name);

// One stored setting. A text that is not owned points at storage that
// outlives every Config (the built-in defaults); an owned text was malloc'ed
// and is freed with the record. A null text means "no value".
struct ConfigValue {
  ConfigValue(uint32_t k, int32_t v) : key(k), value(v) {}
  ConfigValue(uint32_t k, const char* t, int32_t len, bool owns)
      : key(k), text(t), length(len), owns_text(owns) {}
  ~ConfigValue();
  ConfigValue(const ConfigValue&) = delete;
  ConfigValue& operator=(const ConfigValue&) = delete;

  uint32_t key;
  const char* text = nullptr;
  int32_t length = 0;
  bool owns_text = false;
  int32_t value = 0;
};

class Config {
 public:
  Config();
  // Copies every value of another configuration (a task gets its parent's
  // settings this way); texts are copied.
  Config(const Config& other);
  Config& operator=(const Config&) = delete;

  virtual ~Config();
  // The value, or -1 for a key without the integer kind or without a value.
  virtual int32_t GetInt(uint32_t key);
  // The text and its length; null and 0 for a key without the text kind or
  // without a value or default.
  virtual const char* GetString(uint32_t key, int32_t* length);
  // Stores a text, replacing any earlier value: 1, or 0 for a key without
  // the text kind. A length of -1 measures a NUL-terminated text. With
  // `owns` the config takes the malloc'ed buffer; otherwise it copies.
  // A null text stores "no value", which hides the default.
  virtual int32_t SetString(uint32_t key, const char* text, int32_t length, bool owns);
  // 1, or 0 for a key without the integer kind.
  virtual int32_t SetInt(uint32_t key, int32_t value);
  // The built-in default of a key as a new record, or null when it has none.
  virtual ConfigValue* CreateDefault(uint32_t key);

  // Conveniences over the slots above.
  std::string_view GetText(uint32_t key) {
    int32_t n = 0;
    const char* p = GetString(key, &n);
    return p ? std::string_view(p, static_cast<size_t>(n)) : std::string_view();
  }
  bool SetText(uint32_t key, std::string_view text) {
    return SetString(key, text.data(), static_cast<int32_t>(text.size()), false) != 0;
  }
  // Forgets a stored value, so the default shows again.
  void Reset(uint32_t key);

 protected:
  // A text record for a default that lives in static storage.
  static ConfigValue* StaticText(uint32_t key, std::string_view text);
  // A text record owning a copy of `text`.
  static ConfigValue* CopiedText(uint32_t key, std::string_view text);

 private:
  ConfigValue* Lookup(uint32_t key);
  void Store(std::unique_ptr<ConfigValue> v);

  HashTable<std::unique_ptr<ConfigValue>> values_;
};

}  // namespace orin

#endif  // ORIN_UTIL_CONFIG_H_
