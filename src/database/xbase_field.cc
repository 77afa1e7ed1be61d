#include "database/xbase_field.h"

#include <cstring>
#include <utility>

#include "database/xbase_table.h"

namespace orin {

namespace {

// Value buffers are 0-terminated texts: a NUL byte ends the value (some
// writers pad with NULs instead of spaces).
std::string_view UpToNul(std::string_view bytes) {
  size_t end = bytes.find('\0');
  return end == std::string_view::npos ? bytes : bytes.substr(0, end);
}

bool RightAligned(int32_t type) {
  return type == kXBaseNumber || type == kXBaseMemo;
}

}  // namespace

char XBaseTypeLetter(int32_t type) {
  switch (type) {
    case kXBaseCharacter:
      return 'C';
    case kXBaseNumber:
      return 'N';
    case kXBaseDate:
      return 'D';
    case kXBaseLogical:
      return 'L';
    case kXBaseMemo:
      return 'M';
    default:
      return '?';
  }
}

XBaseField::XBaseField(XBaseTable* table, std::string name, int32_t type, uint32_t length,
                       uint32_t decimals)
    : table_(table), name_(std::move(name)), type_(type), length_(length), decimals_(decimals) {}

void XBaseField::Load(const uint8_t* bytes) {
  std::string_view value = UpToNul(std::string_view(reinterpret_cast<const char*>(bytes), length_));
  if (type_ == kXBaseCharacter) {
    size_t end = value.find_last_not_of(' ');
    value = end == std::string_view::npos ? std::string_view() : value.substr(0, end + 1);
  } else if (RightAligned(type_)) {
    size_t start = value.find_first_not_of(' ');
    value = start == std::string_view::npos ? std::string_view() : value.substr(start);
  }
  current_.assign(value);
  saved_ = current_;
}

bool XBaseField::Store(uint8_t* bytes) {
  size_t n = current_.size() < length_ ? current_.size() : length_;
  size_t pad = length_ - n;
  if (RightAligned(type_)) {
    memset(bytes, ' ', pad);
    memcpy(bytes + pad, current_.data(), n);
  } else {
    memcpy(bytes, current_.data(), n);
    memset(bytes + n, ' ', pad);
  }
  return true;
}

void XBaseField::SetValue(std::string_view value) {
  value = UpToNul(value);
  current_.assign(value.substr(0, length_));
}

std::string_view XBaseField::Value() {
  return current_;
}

std::string_view XBaseField::SavedValue() {
  return saved_;
}

void XBaseField::SwapValues() {
  std::swap(current_, saved_);
}

void XBaseField::SaveValue() {
  saved_ = current_;
}

XBaseMemoField::XBaseMemoField(XBaseTable* table, std::string name, uint32_t length)
    : XBaseField(table, std::move(name), kXBaseMemo, length, 0) {}

void XBaseMemoField::Load(const uint8_t* bytes) {
  modified_ = false;
  loaded_ = false;
  memo_.clear();
  saved_memo_.clear();
  XBaseField::Load(bytes);
}

bool XBaseMemoField::Store(uint8_t* bytes) {
  if (modified_) {
    if (memo_.empty()) {
      current_.clear();
    } else {
      int64_t block = table_->WriteMemo(memo_);
      if (block < 0) return false;
      std::string number = std::to_string(block);
      if (number.size() > length_) {
        table_->SetError("Error writing to '" + table_->file_name() + "': block number " + number +
                         " does not fit memo field " + name_);
        return false;
      }
      current_ = std::move(number);
    }
    // The text now lives at the block the value names; storing the record
    // again (a retry, an update after an append) needs no new blocks.
    modified_ = false;
    loaded_ = true;
  }
  return XBaseField::Store(bytes);
}

void XBaseMemoField::SetValue(std::string_view value) {
  modified_ = true;
  loaded_ = true;
  memo_.assign(value);
}

uint32_t XBaseMemoField::Block() const {
  // The leading decimal digits; anything too large for a block number
  // is certainly past the end of the memo file.
  uint64_t block = 0;
  for (char c : current_) {
    if (c < '0' || c > '9') break;
    block = block * 10 + static_cast<uint64_t>(c - '0');
    if (block > UINT32_MAX) return UINT32_MAX;
  }
  return static_cast<uint32_t>(block);
}

bool XBaseMemoField::LoadValue() {
  if (loaded_) return true;
  uint32_t block = Block();
  memo_.clear();
  if (block != 0 && !table_->ReadMemo(block, &memo_)) {
    memo_.clear();
    return false;
  }
  saved_memo_ = memo_;
  loaded_ = true;
  return true;
}

std::string_view XBaseMemoField::Value() {
  LoadValue();
  return memo_;
}

std::string_view XBaseMemoField::SavedValue() {
  // Loading fills the saved text too; a text set before it was ever loaded
  // leaves the saved one empty.
  if (!loaded_) LoadValue();
  return saved_memo_;
}

void XBaseMemoField::SwapValues() {
  XBaseField::SwapValues();
  std::swap(memo_, saved_memo_);
}

void XBaseMemoField::SaveValue() {
  XBaseField::SaveValue();
  if (loaded_) saved_memo_ = memo_;
}

}  // namespace orin
