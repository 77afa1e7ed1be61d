#include "vm/error_settings.h"

#include <cstring>
#include <mutex>

#include "util/ascii.h"
#include "util/byte_string.h"
#include "util/hash_table.h"

namespace orin {

namespace {

constexpr int32_t kFD = kErrorFatal | kErrorDisplay;
constexpr int32_t kD = kErrorDisplay;

constexpr ErrorSettingRow kRows[kErrorSettingRows] = {
    {0, "ZtIF", "ZtIF_Error", kFD},
    {1, "ZtELSE", "ZtELSE_Error", kFD},
    {2, "ZtIMPORT", "ZtIMPORT_Error", kD},
    {3, "ZtIMPORTSTOP", "ZtIMPORTSTOP_Error", kFD},
    {4, "ZtEXPORT", "ZtEXPORT_Error", kD},
    {5, "ZtASSIGN", "ZtASSIGN_Error", kFD},
    {6, "ZtEVAL", "ZtEVAL_Error", kFD},
    {7, "ZtHIDE", "ZtHIDE_Error", kFD},
    {8, "ZtPOP", "ZtPOP_Error", kD},
    {9, "ZtPOPSTOP", "ZtPOPSTOP_Error", kFD},
    {10, "ZtPOPDELETE", "ZtPOPDELETE_Error", kD},
    {11, "ZtSMTP", "ZtSMTP_Error", kD},
    {12, "ZtWHILE", "ZtWHILE_Error", kFD},
    {13, "ZtWHILESTOP", "ZtWHILESTOP_Error", kFD},
    {14, "ZtCALL", "ZtCALL_Error", kFD},
    {15, "ZtCALLSTOP", "ZtCALLSTOP_Error", kFD},
    {16, "ZtFUNCTION", "ZtFUNCTION_Error", kFD},
    {17, "ZtFUNCTIONRETURN", "ZtFUNCTIONRETURN_Error", kFD},
    {18, "ZtELSEIF", "ZtELSEIF_Error", kFD},
    {19, "ZtCOMMERCE", "ZtCOMMERCE_Error", kFD},
    {20, "ZtCOMMERCESTOP", "ZtCOMMERCESTOP_Error", kFD},
    {21, "ZtCOMMENT", "ZtCOMMENT_Error", kFD},
    {22, "ZtDO", "ZtDO_Error", kFD},
    {23, "ZtLOCKFILE", "ZtLOCKFILE_Error", kFD},
    {24, "ZtLOCALIZED", "ZtLOCALIZED_Error", kFD},
    {25, "ZtLOCALIZED-TOKEN", "ZtLOCALIZED-TOKEN_Error", kFD},
    {26, "ZtLOCALIZED-TEXT", "ZtLOCALIZED-TEXT_Error", kFD},
    {27, "ZtEXIT", "ZtEXIT_Error", kFD},
    {28, "ZtOPEN", "ZtOPEN_Error", kD},
    {29, "ZtCLOSE", "ZtCLOSE_Error", kD},
    {30, "ZtSKIP", "ZtSKIP_Error", kD},
    {31, "ZtGO", "ZtGO_Error", kD},
    {32, "ZtPRIMARY", "ZtPRIMARY_Error", kFD},
    {33, "ZtFIND", "ZtFIND_Error", kD},
    {34, "ZtSETINDEX", "ZtSETINDEX_Error", kD},
    {35, "ZtUPDATE", "ZtUPDATE_Error", kD},
    {36, "ZtDELETE", "ZtDELETE_Error", kD},
    {37, "ZtUNDELETE", "ZtUNDELETE_Error", kD},
    {38, "ZtADD", "ZtADD_Error", kD},
    {39, "ZtMAKEINDEX", "ZtMAKEINDEX_Error", kFD},
    {40, "ZtPACK", "ZtPACK_Error", kD},
    {41, "ZtREINDEX", "ZtREINDEX_Error", kD},
    {42, "ZtCREATE", "ZtCREATE_Error", kD},
    {43, "ZtREVEALSTRUCTURE", "ZtREVEALSTRUCTURE_Error", kD},
    {44, "ZtOPENVIEW", "ZtOPENVIEW_Error", kD},
    {45, "ZtCLOSEVIEW", "ZtCLOSEVIEW_Error", kD},
    {46, "ZtQUERY", "ZtQUERY_Error", kD},
    {47, "ZtFILTER", "ZtFILTER_Error", kD},
    {48, "ZETO", "ZETO_Error", kFD},
    {49, "ZtASSIGNARRAY", "ZtASSIGNARRAY_Error", kFD},
    {50, "ZtDIMENSION", "ZtDIMENSION_Error", kFD},
    {51, "ZtMEMBER", "ZtMEMBER_Error", kFD},
    {52, "ZtCOMMIT", "ZtCOMMIT_Error", kD},
    {53, "ZtROLLBACK", "ZtROLLBACK_Error", kD},
    {54, "ZtINCLUDE", "ZtINCLUDE_Error", 0},
    {55, "ZtTRANSACT", "ZtTRANSACT_Error", kD},
    {56, "ZtREFERENCE", "ZtREFERENCE_Error", kD},
    {57, "ZtREFERENCEARRAY", "ZtREFERENCEARRAY_Error", kD},
    {58, "ZtDBCOMMAND", "ZtDBCOMMAND_Error", kD},
    {59, "ZtCAPTURE", "ZtCAPTURE_Error", kD},
    {60, "ZtIFDEF", "ZtIFDEF_Error", 0},
    {61, "ZtIFNDEF", "ZtIFNDEF_Error", 0},
    {62, "ZtEXPRESSION", "ZtEXPRESSION_Error", kFD},
    {63, "ZtIMPORTCONTINUE", "ZtIMPORTCONTINUE_Error", kFD},
    {64, "ZtPOPCONTINUE", "ZtPOPCONTINUE_Error", kFD},
    {65, "ZtWHILECONTINUE", "ZtWHILECONTINUE_Error", kFD},
    {66, "ZtCALLCONTINUE", "ZtCALLCONTINUE_Error", kFD},
    {67, "ZtCOMMERCECONTINUE", "ZtCOMMERCECONTINUE_Error", kFD},
    {68, "ZtFOREACH", "ZtFOREACH_Error", kFD},
    {69, "ZtFOREACHSTOP", "ZtFOREACHSTOP_Error", kFD},
    {70, "ZtFOREACHCONTINUE", "ZtFOREACHCONTINUE_Error", kFD},
    {71, "ZtFOR", "ZtFOR_Error", kFD},
    {72, "ZtFORSTOP", "ZtFORSTOP_Error", kFD},
    {73, "ZtFORCONTINUE", "ZtFORCONTINUE_Error", kFD},
    {74, "ZtASSEMBLY", "ZtASSEMBLY_Error", 0},
    {75, "ZtASYNCHRONOUS", "ZtASYNCHRONOUS_Error", kD},
    {76, "", "", 0},
};

constexpr size_t kMaxTagNameLength = 18;

struct DefaultTable {
  std::mutex mutex;
  ErrorSettings settings;
  DefaultTable() {
    for (int i = 0; i < kErrorSettingRows; ++i)
      settings[i] = kRows[i].setting;
  }
};

DefaultTable& Defaults() {
  static DefaultTable table;
  return table;
}

// Lower-case names of the tags, with the configuration spellings of tags 48
// and 62 and the two aliases: 78 keys.
HashTable<int>& Lookup() {
  static HashTable<int> table = [] {
    HashTable<int> t(8, true, 128);
    for (int i = 0; i < kErrorSettingRows - 1; ++i)
      t.Set(kRows[i].name, i);
    t.Remove("ZtEXPRESSION");
    t.Set("expression", 62);
    t.Set("ztfuncreturn", 17);
    t.Set("ztasync", 75);
    return t;
  }();
  return table;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

}  // namespace

const ErrorSettingRow* ErrorSettingTable() {
  return kRows;
}

ErrorSettings CopyDefaultErrorSettings() {
  DefaultTable& d = Defaults();
  std::lock_guard<std::mutex> lock(d.mutex);
  return d.settings;
}

void RestoreDefaultErrorSettings(const ErrorSettings& settings) {
  DefaultTable& d = Defaults();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.settings = settings;
}

bool SetDefaultErrorSetting(int tag, int32_t setting) {
  if (tag < 0 || tag >= kErrorSettingRows) return false;
  DefaultTable& d = Defaults();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.settings[tag] = setting;
  return true;
}

int TagLookup(std::string_view name) {
  if (name.size() > kMaxTagNameLength) return -1;
  const int* tag = Lookup().Find(name);
  return tag ? *tag : -1;
}

int32_t ParseErrorSetting(std::string_view text) {
  int32_t setting = 0;
  if (ContainsNoCase(text, "fatal")) setting |= kErrorFatal;
  if (ContainsNoCase(text, "display")) setting |= kErrorDisplay;
  return setting;
}

int32_t ztConfig_Set_DefaultErrorSetting(const char* name, int32_t length, int32_t setting) {
  if (name == nullptr) return 0;
  int tag = TagLookup(MeasuredText(name, length));
  return tag >= 0 && SetDefaultErrorSetting(tag, setting) ? 1 : 0;
}

}  // namespace orin
