// re_... functions: the text comes first, then the pattern, as str_find
// takes the text before what it looks for.
#include "call.h"
#include "core/regex.h"
#include "functions.h"

namespace orin_std {

namespace {

std::unique_ptr<Regex> Compiled(Call& c, std::string_view* text) {
  std::string_view pattern;
  std::string error;
  if (!c.Text(0, text) || !c.Text(1, &pattern)) return nullptr;
  std::unique_ptr<Regex> re = Regex::Compile(pattern, &error);
  if (re == nullptr) c.Fail(error);
  return re;
}

void ReturnList(Call& c, const std::vector<std::string_view>& items) {
  MakeEmpty(c, /*array=*/true);
  for (size_t i = 0; i < items.size(); ++i) {
    StoreIndexText(c.result(), static_cast<int32_t>(i + 1), items[i]);
  }
}

}  // namespace

void ReMatch(Call& c) {
  std::string_view text;
  std::unique_ptr<Regex> re = Compiled(c, &text);
  if (re == nullptr) return;
  std::vector<std::optional<std::string_view>> groups;
  std::string error;
  bool found = re->Find(text, 0, &groups, &error);
  if (!error.empty()) return void(c.Fail(error));
  c.ReturnBool(found);
}

void ReGroups(Call& c) {
  std::string_view text;
  std::unique_ptr<Regex> re = Compiled(c, &text);
  if (re == nullptr) return;
  std::vector<std::optional<std::string_view>> groups;
  std::string error;
  bool found = re->Find(text, 0, &groups, &error);
  if (!error.empty()) return void(c.Fail(error));
  std::vector<std::string_view> items;
  if (found) {
    for (const auto& g : groups)
      items.push_back(g.value_or(std::string_view()));
  }
  ReturnList(c, items);
}

void ReNamed(Call& c) {
  std::string_view text;
  std::unique_ptr<Regex> re = Compiled(c, &text);
  if (re == nullptr) return;
  std::vector<std::optional<std::string_view>> groups;
  std::string error;
  bool found = re->Find(text, 0, &groups, &error);
  if (!error.empty()) return void(c.Fail(error));
  MakeEmpty(c, /*array=*/false);
  if (!found) return;
  for (const auto& [name, number] : re->Names()) {
    std::string_view value = number < groups.size() ? groups[number].value_or("") : "";
    ztVariable* member =
        ztVariable_Struct_Member(name.data(), static_cast<int32_t>(name.size()), c.result(), 1);
    if (member != nullptr) {
      ztVariable_SetValue(member, value.data(), static_cast<int32_t>(value.size()));
    }
  }
}

void ReAll(Call& c) {
  std::string_view text;
  std::unique_ptr<Regex> re = Compiled(c, &text);
  if (re == nullptr) return;
  std::vector<std::string_view> matches;
  std::string error;
  if (!re->FindAll(text, &matches, &error)) return void(c.Fail(error));
  ReturnList(c, matches);
}

void ReReplace(Call& c) {
  std::string_view text, replacement;
  std::unique_ptr<Regex> re = Compiled(c, &text);
  if (re == nullptr || !c.Text(2, &replacement)) return;
  std::string out, error;
  if (!re->ReplaceAll(text, replacement, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

void ReSplit(Call& c) {
  std::string_view text;
  std::unique_ptr<Regex> re = Compiled(c, &text);
  if (re == nullptr) return;
  std::vector<std::string_view> pieces;
  std::string error;
  if (!re->Split(text, &pieces, &error)) return void(c.Fail(error));
  ReturnList(c, pieces);
}

}  // namespace orin_std
