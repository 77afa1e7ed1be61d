// Runtime error settings: one row per tag number telling whether a runtime
// error of that tag is fatal (bit value 2) and whether it is displayed (bit
// value 1).
//
// The process keeps one default table, guarded by a mutex: configuration
// writes it while it is loaded, and every machine takes a copy when it is
// built and changes only its copy afterwards (the `tagerror` instruction).
#ifndef ORIN_VM_ERROR_SETTINGS_H_
#define ORIN_VM_ERROR_SETTINGS_H_

#include <array>
#include <cstdint>
#include <string_view>

namespace orin {

// Tags 0 to 75 plus an empty terminator row (76).
constexpr int kErrorSettingRows = 77;
constexpr int32_t kErrorFatal = 2;
constexpr int32_t kErrorDisplay = 1;

struct ErrorSettingRow {
  int64_t tag;
  const char* name;           // "ZtOPEN"; "" for the terminator row
  const char* variable_name;  // "ZtOPEN_Error"; "" for the terminator row
  int32_t setting;            // built-in default
};

// The built-in rows, indexed by tag number; kErrorSettingRows entries.
const ErrorSettingRow* ErrorSettingTable();

using ErrorSettings = std::array<int32_t, kErrorSettingRows>;

// The current process-wide defaults (a new machine's copy).
ErrorSettings CopyDefaultErrorSettings();
// Replaces every process-wide default at once.
void RestoreDefaultErrorSettings(const ErrorSettings& settings);
// Changes one process-wide default; false for a tag outside the table.
bool SetDefaultErrorSetting(int tag, int32_t setting);

// The tag number of a configured tag name, or -1. Letter case is ignored;
// "zeto" is 48, "expression" is 62, and "ztfuncreturn" (17) and "ztasync"
// (75) are accepted as aliases. Names longer than 18 bytes never match.
int TagLookup(std::string_view name);

// The setting a configured text asks for: 2 when it contains "fatal", plus 1
// when it contains "display" (letter case ignored).
int32_t ParseErrorSetting(std::string_view text);

// Sets the default of the named tag; 1 when the name is known, else 0. A
// length of -1 measures a NUL-terminated name.
int32_t ztConfig_Set_DefaultErrorSetting(const char* name, int32_t length, int32_t setting);

}  // namespace orin

#endif  // ORIN_VM_ERROR_SETTINGS_H_
