// The library's function table: every function with its parameters, in
// the order docs/stdlib.md lists them. The descriptor and its entries are
// built once, on first use, and stay for the life of the process.
#include <array>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "call.h"
#include "functions.h"

namespace orin_std {

namespace {

constexpr FunctionSpec kFunctions[] = {
    // Texts
    {"str_len", "text", StrLen},
    {"str_sub", "text, start, length", StrSub},
    {"str_find", "text, search, start", StrFind},
    {"str_rfind", "text, search", StrRfind},
    {"str_starts", "text, prefix", StrStarts},
    {"str_ends", "text, suffix", StrEnds},
    {"str_replace", "text, search, replacement", StrReplace},
    {"str_upper", "text", StrUpper},
    {"str_lower", "text", StrLower},
    {"str_trim", "text", StrTrim},
    {"str_ltrim", "text", StrLtrim},
    {"str_rtrim", "text", StrRtrim},
    {"str_lpad", "text, width, fill", StrLpad},
    {"str_rpad", "text, width, fill", StrRpad},
    {"str_split", "text, separator", StrSplit},
    {"str_join", "&array, separator", StrJoin},
    {"str_repeat", "text, count", StrRepeat},
    {"utf8_valid", "text", Utf8Valid},
    {"utf8_len", "text", Utf8Len},
    {"utf8_sub", "text, start, length", Utf8SubFn},
    {"charset_convert", "text, from, to", CharsetConvert},
    // Regular expressions
    {"re_match", "text, pattern", ReMatch},
    {"re_groups", "text, pattern", ReGroups},
    {"re_named", "text, pattern", ReNamed},
    {"re_all", "text, pattern", ReAll},
    {"re_replace", "text, pattern, replacement", ReReplace},
    {"re_split", "text, pattern", ReSplit},
    // Numbers
    {"num_valid", "text", NumValid},
    {"num_round", "number, places", NumRound},
    {"num_floor", "number", NumFloor},
    {"num_ceil", "number", NumCeil},
    {"num_trunc", "number", NumTrunc},
    {"num_abs", "number", NumAbs},
    {"num_min", "a, b", NumMin},
    {"num_max", "a, b", NumMax},
    {"num_random", "low, high", NumRandom},
    {"num_sqrt", "number", NumSqrt},
    {"num_exp", "number", NumExp},
    {"num_ln", "number", NumLn},
    {"num_log10", "number", NumLog10},
    {"num_pow", "base, exponent", NumPow},
    {"num_mod", "number, divisor", NumMod},
    {"num_format", "number, decimals, point, thousands", NumFormat},
    // Dates and times
    {"date_now", "", DateNow},
    {"date_make", "year, month, day, hour, minute, second, zone", DateMake},
    {"date_parse", "text, format, zone", DateParse},
    {"date_format", "time, format, zone", DateFormat},
    {"date_add", "time, amount, unit, zone", DateAdd},
    {"date_diff", "from, to, unit, zone", DateDiff},
    {"date_weekday", "time, zone", DateWeekday},
    {"date_offset", "time, zone", DateOffset},
    // Arrays and structures
    {"arr_count", "&array", ArrCount},
    {"arr_keys", "&array", ArrKeys},
    {"arr_values", "&array", ArrValues},
    {"arr_sort", "&array", ArrSort},
    {"arr_rsort", "&array", ArrRsort},
    {"arr_find", "&array, value", ArrFind},
    {"arr_slice", "&array, start, count", ArrSlice},
    {"arr_merge", "&first, &second", ArrMerge},
    {"arr_push", "&array, value", ArrPush},
    // Encodings
    {"b64_encode", "text", B64Encode},
    {"b64_decode", "text", B64Decode},
    {"hex_encode", "text", HexEncodeFn},
    {"hex_decode", "text", HexDecodeFn},
    {"url_encode", "text", UrlEncodeFn},
    {"url_decode", "text", UrlDecodeFn},
    {"html_encode", "text", HtmlEncodeFn},
    {"html_decode", "text", HtmlDecodeFn},
    {"json_encode", "&value, options", JsonEncode},
    {"json_decode", "text", JsonDecode},
    // Digests and identifiers
    {"hash_md5", "text", HashMd5},
    {"hash_sha1", "text", HashSha1},
    {"hash_sha256", "text", HashSha256},
    {"hash_hmac", "text, key, algorithm", HashHmac},
    {"id_uuid", "", IdUuid},
    {"id_session", "", IdSession},
    {"id_random", "bytes", IdRandom},
    // Files
    {"file_exists", "area, path", FileExists},
    {"file_read", "area, path", FileRead},
    {"file_write", "area, path, text", FileWrite},
    {"file_append", "area, path, text", FileAppend},
    {"file_delete", "area, path", FileDelete},
    {"file_list", "area, path", FileList},
};
constexpr size_t kCount = std::size(kFunctions);

template <size_t I>
void Entry(ztProgram* program, ztVariableHash* parameters, ztVariable* result, void** data) {
  (void)data;
  if (program == nullptr) return;  // the call site going away: nothing kept
  Call call(kFunctions[I], program, parameters, result);
  // Nothing may unwind into the server.
  try {
    kFunctions[I].body(call);
  } catch (const std::bad_alloc&) {
    call.Fail("out of memory");
  } catch (const std::exception& e) {
    call.Fail(e.what());
  } catch (...) {
    call.Fail("internal error");
  }
}

template <size_t... I>
constexpr std::array<ztFunctionEntryPoint, kCount> EntryPoints(std::index_sequence<I...>) {
  return {&Entry<I>...};
}

struct Table {
  ztFunctionTable descriptor{};
  std::vector<ztFunctionEntry> entries;
  std::vector<std::vector<ztFunctionParameter>> parameters;
};

const Table& BuildTable() {
  static const Table* table = [] {
    static constexpr auto kEntries = EntryPoints(std::make_index_sequence<kCount>());
    auto* t = new Table;
    t->parameters.resize(kCount);
    for (size_t i = 0; i < kCount; ++i) {
      std::string_view names(kFunctions[i].parameters);
      std::vector<ztFunctionParameter>& records = t->parameters[i];
      while (!names.empty()) {
        size_t comma = names.find(',');
        std::string_view name = names.substr(0, comma);
        while (!name.empty() && name.front() == ' ')
          name.remove_prefix(1);
        ztFunctionParameter record{};
        record.flags = name.starts_with('&') ? ZT_PARAMETER_BY_REFERENCE : ZT_PARAMETER_BY_VALUE;
        records.push_back(record);
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
      }
      std::string_view name(kFunctions[i].name);
      t->entries.push_back(ztFunctionEntry{kFunctions[i].name, static_cast<uint32_t>(name.size()),
                                           static_cast<uint32_t>(records.size()), records.data(),
                                           kEntries[i]});
    }
    t->entries.push_back(ztFunctionEntry{nullptr, 0, 0, nullptr, nullptr});
    t->descriptor.entries = t->entries.data();
    return t;
  }();
  return *table;
}

}  // namespace

}  // namespace orin_std

extern "C" ZT_EXPORT const ztFunctionTable* zeto_function_table(void) {
  try {
    return &orin_std::BuildTable().descriptor;
  } catch (...) {
    return nullptr;
  }
}
