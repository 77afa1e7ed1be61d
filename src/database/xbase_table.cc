#include "database/xbase_table.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include "image/byte_order.h"
#include "util/ascii.h"

namespace orin {

namespace {

constexpr uint8_t kEndOfFile = 0x1A;
constexpr uint8_t kEndOfFields = 0x0D;
constexpr int64_t kHeaderSize = 32;
constexpr int64_t kDescriptorSize = 32;

// The file error text when a file ends before the bytes its header promises.
constexpr const char* kTooShort = "Unexpected end of file";

// Reads exactly `count` bytes at `offset`; a short read leaves kTooShort
// as the file's error.
bool ReadExactly(File* file, int64_t offset, void* buffer, int32_t count) {
  int32_t n = file->ReadAt(offset, buffer, count);
  if (n == count) return true;
  if (n >= 0) file->SetError(kTooShort);
  return false;
}

bool WriteExactly(File* file, int64_t offset, const void* buffer, int32_t count) {
  return file->WriteAt(offset, buffer, count) == count;
}

// Today's date in UTC as years since 1900, month and day.
void TodayUtc(uint8_t date[3]) {
  using namespace std::chrono;
  year_month_day today{floor<days>(system_clock::now())};
  int year = static_cast<int>(today.year()) - 1900;
  date[0] = static_cast<uint8_t>(year < 0 ? 0 : (year > 255 ? 255 : year));
  date[1] = static_cast<uint8_t>(static_cast<unsigned>(today.month()));
  date[2] = static_cast<uint8_t>(static_cast<unsigned>(today.day()));
}

}  // namespace

XBaseTable::XBaseTable(FileManager* files) : files_(files) {}

XBaseTable::~XBaseTable() {
  Close();
}

bool XBaseTable::Fail(std::string text) {
  error_ = std::move(text);
  return false;
}

bool XBaseTable::ReadFailed(const std::string& name, File* file) {
  return Fail("Error reading from '" + name + "': " + file->ErrorText());
}

bool XBaseTable::WriteFailed(const std::string& name, File* file) {
  return Fail("Error writing to '" + name + "': " + file->ErrorText());
}

std::string XBaseTable::MemoFileName(std::string_view table_name) {
  for (size_t i = table_name.size(); i-- > 1;) {
    char c = table_name[i];
    if (c == '.') return std::string(table_name.substr(0, i)) + ".dbt";
    if (c == '/' || c == '\\') break;
  }
  return std::string(table_name) + ".dbt";
}

void XBaseTable::Close() {
  table_file_.reset();
  memo_file_.reset();
  file_name_.clear();
  memo_name_.clear();
  fields_.clear();
  version_ = 0;
  record_count_ = 0;
  header_length_ = 0;
  record_length_ = 0;
  current_record_ = 0;
  deleted_ = false;
  next_memo_block_ = 0;
  known_end_ = 0;
}

XBaseField* XBaseTable::FindField(std::string_view name) const {
  for (const auto& field : fields_) {
    if (EqualsNoCase(field->name(), name)) return field.get();
  }
  return nullptr;
}

int64_t XBaseTable::RecordOffset(uint32_t n) const {
  return header_length_ + static_cast<int64_t>(n - 1) * record_length_;
}

// ---- header ----------------------------------------------------------

bool XBaseTable::ReadHeader() {
  uint8_t header[kHeaderSize];
  if (!ReadExactly(table_file_.get(), 0, header, kHeaderSize)) {
    return ReadFailed(file_name_, table_file_.get());
  }
  uint16_t header_length = GetLE16(header + 8);
  uint16_t record_length = GetLE16(header + 10);
  if (header_length_ != 0 && (header_length != header_length_ || record_length != record_length_)) {
    // The fields were laid out from the first header; a table whose layout
    // changed under us cannot be read with them.
    table_file_->SetError("The table's header has changed");
    return ReadFailed(file_name_, table_file_.get());
  }
  if (header_length_ == 0) version_ = header[0];
  memcpy(date_, header + 1, 3);
  record_count_ = GetLE32(header + 4);
  header_length_ = header_length;
  record_length_ = record_length;
  return true;
}

bool XBaseTable::WriteHeader() {
  uint8_t header[kHeaderSize] = {};
  TodayUtc(date_);
  header[0] = version_;
  memcpy(header + 1, date_, 3);
  PutLE32(header + 4, record_count_);
  PutLE16(header + 8, header_length_);
  PutLE16(header + 10, record_length_);
  if (!WriteExactly(table_file_.get(), 0, header, kHeaderSize)) {
    return WriteFailed(file_name_, table_file_.get());
  }
  return true;
}

bool XBaseTable::LockHeader() {
  if (!table_file_->LockRegion(0, header_length_, true, true)) {
    return Fail("Error locking '" + file_name_ + "' for write: " + table_file_->ErrorText());
  }
  return true;
}

void XBaseTable::UnlockHeader() {
  table_file_->UnlockRegion(0, header_length_);
}

bool XBaseTable::RefreshHeader() {
  if (!IsOpen()) return Fail("No table is open");
  // A table opened only for reading cannot hold an exclusive lock; a shared
  // one keeps writers out just as well while the header is read.
  if (!table_file_->LockRegion(0, header_length_, writable_, true)) {
    return Fail("Error locking '" + file_name_ + "' for write: " + table_file_->ErrorText());
  }
  bool ok = ReadHeader();
  UnlockHeader();
  return ok;
}

bool XBaseTable::TouchHeader() {
  if (!LockHeader()) return false;
  bool ok = ReadHeader() && WriteHeader();
  UnlockHeader();
  return ok;
}

// ---- field descriptors -------------------------------------------------

bool XBaseTable::ReadFieldDescriptors() {
  if (header_length_ <= kHeaderSize) {
    table_file_->SetError("Invalid header length");
    return ReadFailed(file_name_, table_file_.get());
  }
  int32_t size = header_length_ - kHeaderSize;
  std::vector<uint8_t> descriptors(static_cast<size_t>(size));
  if (!ReadExactly(table_file_.get(), kHeaderSize, descriptors.data(), size)) {
    return ReadFailed(file_name_, table_file_.get());
  }
  size_t count = static_cast<size_t>(header_length_ - kHeaderSize - 1) / kDescriptorSize;
  uint32_t used = 1;  // the deletion flag
  fields_.clear();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* d = descriptors.data() + i * kDescriptorSize;
    size_t name_length = 0;
    while (name_length < 11 && d[name_length] != 0)
      ++name_length;
    std::string name(reinterpret_cast<const char*>(d), name_length);
    char letter = static_cast<char>(d[11]);
    uint32_t length = d[16];
    uint32_t decimals = d[17];
    std::unique_ptr<XBaseField> field;
    switch (letter) {
      case 'C':
        field = std::make_unique<XBaseField>(this, name, kXBaseCharacter, length, 0);
        break;
      case 'N':
        field = std::make_unique<XBaseField>(this, name, kXBaseNumber, length, decimals);
        break;
      case 'D':
        field = std::make_unique<XBaseField>(this, name, kXBaseDate, length, 0);
        break;
      case 'L':
        field = std::make_unique<XBaseField>(this, name, kXBaseLogical, length, 0);
        break;
      case 'M':
        // A memo field of an unusual width still decodes its own bytes.
        field = std::make_unique<XBaseMemoField>(this, name, length);
        version_ = 0x83;
        break;
      default:
        fields_.clear();
        return Fail("'" + file_name_ + "' contains an unsupported field (" + name + ") of type '" +
                    std::string(1, letter) + "'");
    }
    used += length;
    fields_.push_back(std::move(field));
  }
  // Every field must lie inside the record, or decoding would read past it.
  if (used > record_length_) {
    fields_.clear();
    table_file_->SetError("Invalid record length");
    return ReadFailed(file_name_, table_file_.get());
  }
  return true;
}

bool XBaseTable::WriteFieldDescriptors() {
  std::vector<uint8_t> descriptors(static_cast<size_t>(header_length_ - kHeaderSize), 0);
  for (size_t i = 0; i < fields_.size(); ++i) {
    uint8_t* d = descriptors.data() + i * kDescriptorSize;
    const XBaseField& field = *fields_[i];
    memcpy(d, field.name().data(), field.name().size() < 10 ? field.name().size() : 10);
    d[11] = static_cast<uint8_t>(field.type_letter());
    d[16] = static_cast<uint8_t>(field.length());
    d[17] = static_cast<uint8_t>(field.decimals());
  }
  descriptors.back() = kEndOfFields;
  if (!WriteExactly(table_file_.get(), kHeaderSize, descriptors.data(),
                    static_cast<int32_t>(descriptors.size()))) {
    return WriteFailed(file_name_, table_file_.get());
  }
  return true;
}

// ---- open and create ---------------------------------------------------

bool XBaseTable::Open(int32_t area, std::string_view name, uint32_t mode) {
  Close();
  file_name_.assign(name);
  writable_ = (mode & (kOpenWrite | kOpenAppend)) != 0;
  table_file_ = files_->Open(area, name, mode);
  if (table_file_ == nullptr) {
    std::string text = "Error opening '" + file_name_ + "': " + files_->ErrorText();
    Close();
    return Fail(std::move(text));
  }
  bool has_memo_field = false;
  if (ReadHeader()) {
    if ((version_ & 0x7F) != 3) {
      char byte[8];
      snprintf(byte, sizeof byte, "0x%02X", version_);
      Fail("'" + file_name_ + "': Unsupported xBase file version (" + byte + ")");
    } else if (ReadFieldDescriptors()) {
      for (const auto& field : fields_)
        has_memo_field |= field->type() == kXBaseMemo;
      if ((version_ & 0x80) == 0 && !has_memo_field) return true;
      if (OpenMemo(area, mode)) return true;
    }
  }
  std::string text = std::move(error_);
  Close();
  return Fail(std::move(text));
}

bool XBaseTable::OpenMemo(int32_t area, uint32_t mode) {
  memo_name_ = MemoFileName(file_name_);
  memo_file_ = files_->Open(area, memo_name_, mode);
  if (memo_file_ == nullptr) {
    return Fail("Error opening '" + memo_name_ + "': " + files_->ErrorText());
  }
  if (!memo_file_->LockRegion(0, kMemoBlockSize, false, true)) {
    return Fail("Error locking '" + memo_name_ + "' for read: " + memo_file_->ErrorText());
  }
  uint8_t next[4];
  bool ok = ReadExactly(memo_file_.get(), 0, next, 4);
  if (ok) next_memo_block_ = GetLE32(next);
  memo_file_->UnlockRegion(0, kMemoBlockSize);
  return ok || ReadFailed(memo_name_, memo_file_.get());
}

bool XBaseTable::Create(int32_t area, std::string_view name, std::string_view memo_name,
                        const std::vector<XBaseFieldDefinition>& fields) {
  Close();
  file_name_.assign(name);
  bool has_memo = false;
  for (const XBaseFieldDefinition& field : fields)
    has_memo |= field.type == kXBaseMemo;
  constexpr uint32_t kCreate = kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate;
  writable_ = true;
  table_file_ = files_->Open(area, name, kCreate);
  if (table_file_ == nullptr) {
    std::string text = "Error creating '" + file_name_ + "': " + files_->ErrorText();
    Close();
    return Fail(std::move(text));
  }
  if (has_memo) {
    memo_name_ = memo_name.empty() ? MemoFileName(name) : std::string(memo_name);
    memo_file_ = files_->Open(area, memo_name_, kCreate);
    if (memo_file_ == nullptr) {
      std::string text = "Error creating '" + memo_name_ + "': " + files_->ErrorText();
      Close();
      return Fail(std::move(text));
    }
  }
  std::string problem;
  uint32_t record_length = 1;
  if (fields.size() > kMaxFields) {
    problem = "too many fields (maximum 2046)";
  } else {
    for (const XBaseFieldDefinition& field : fields) {
      // Only the parser's definitions are sure to be sound; these would not
      // fit their descriptor bytes.
      if (field.name.empty() || field.name.size() > 10 || field.type < kXBaseCharacter ||
          field.type > kXBaseMemo || field.length > 255 || field.decimals > 255) {
        problem = "invalid definition of field (" + field.name + ")";
        break;
      }
      record_length += field.type == kXBaseMemo ? 10 : field.length;
    }
    if (problem.empty() && record_length > UINT16_MAX) {
      problem = "records too long (maximum 65535 bytes)";
    }
  }
  if (!problem.empty()) {
    std::string text = "Error creating '" + file_name_ + "': " + problem;
    Close();
    return Fail(std::move(text));
  }

  version_ = has_memo ? 0x83 : 0x03;
  next_memo_block_ = 1;
  header_length_ = static_cast<uint16_t>(kDescriptorSize * fields.size() + kHeaderSize + 1);
  record_length_ = static_cast<uint16_t>(record_length);
  record_count_ = 0;
  for (const XBaseFieldDefinition& field : fields) {
    if (field.type == kXBaseMemo) {
      fields_.push_back(std::make_unique<XBaseMemoField>(this, field.name));
    } else {
      fields_.push_back(
          std::make_unique<XBaseField>(this, field.name, field.type, field.length, field.decimals));
    }
  }
  bool ok = WriteHeader() && WriteFieldDescriptors();
  if (ok && !WriteExactly(table_file_.get(), header_length_, &kEndOfFile, 1)) {
    ok = WriteFailed(file_name_, table_file_.get());
  }
  if (ok && has_memo) {
    uint8_t memo[kMemoBlockSize + 1] = {};
    PutLE32(memo, next_memo_block_);
    memo[kMemoBlockSize] = kEndOfFile;
    if (!WriteExactly(memo_file_.get(), 0, memo, sizeof memo)) {
      ok = WriteFailed(memo_name_, memo_file_.get());
    }
  }
  if (!ok) {
    std::string text = std::move(error_);
    Close();
    return Fail(std::move(text));
  }
  return true;
}

// ---- records -----------------------------------------------------------

bool XBaseTable::ReadRecord(uint32_t n) {
  if (!IsOpen()) return Fail("No table is open");
  if (n == 0) return Fail("Invalid record number");
  if (n > record_count_) {
    // Another process may have appended since the header was read.
    if (!RefreshHeader()) return false;
    if (n > record_count_) return Fail("Invalid record number");
  }
  std::vector<uint8_t> record(record_length_);
  if (!ReadExactly(table_file_.get(), RecordOffset(n), record.data(), record_length_)) {
    return ReadFailed(file_name_, table_file_.get());
  }
  deleted_ = record[0] == '*';
  size_t at = 1;
  for (const auto& field : fields_) {
    field->Load(record.data() + at);
    at += field->length();
  }
  current_record_ = n;
  return true;
}

bool XBaseTable::BuildRecord(uint8_t* record) {
  record[0] = deleted_ ? '*' : ' ';
  size_t at = 1;
  for (const auto& field : fields_) {
    if (!field->Store(record + at)) return false;
    at += field->length();
  }
  return true;
}

bool XBaseTable::AppendRecord() {
  if (!IsOpen()) return Fail("No table is open");
  if (!LockHeader()) return false;
  bool ok = ReadHeader();
  if (ok && record_count_ == UINT32_MAX) {
    table_file_->SetError("The table is full");
    ok = WriteFailed(file_name_, table_file_.get());
  }
  if (ok) {
    // Records reach the file before the count does, so a count beyond the
    // end is damage; appending there would leave a hole of empty records.
    int64_t size = RecordOffset(record_count_ + 1) <= known_end_ ? known_end_ : table_file_->Size();
    if (size < 0) {
      ok = ReadFailed(file_name_, table_file_.get());
    } else if (size < RecordOffset(record_count_ + 1)) {
      table_file_->SetError("Record count beyond the end of the file");
      ok = WriteFailed(file_name_, table_file_.get());
    }
  }
  if (ok) {
    std::vector<uint8_t> record(record_length_ + 1u);
    bool was_deleted = deleted_;
    deleted_ = false;
    ok = BuildRecord(record.data());
    deleted_ = was_deleted;
    record[record_length_] = kEndOfFile;
    // The record goes out before the header counts it, so a reader that
    // sees the new count always finds the whole record.
    if (ok && !WriteExactly(table_file_.get(), RecordOffset(record_count_ + 1), record.data(),
                            static_cast<int32_t>(record.size()))) {
      ok = WriteFailed(file_name_, table_file_.get());
    }
    if (ok) {
      known_end_ = RecordOffset(record_count_ + 1) + record_length_ + 1;
      ++record_count_;
      ok = WriteHeader();
      if (!ok) --record_count_;
    }
  }
  UnlockHeader();
  if (!ok) return false;
  current_record_ = record_count_;
  deleted_ = false;
  for (const auto& field : fields_)
    field->SaveValue();
  return true;
}

bool XBaseTable::UpdateRecord() {
  if (!IsOpen()) return Fail("No table is open");
  if (current_record_ == 0) return Fail("Invalid record number");
  int64_t offset = RecordOffset(current_record_);
  if (!table_file_->LockRegion(offset, record_length_, true, true)) {
    return Fail("Error locking '" + file_name_ + "' for write: " + table_file_->ErrorText());
  }
  std::vector<uint8_t> record(record_length_);
  bool ok = BuildRecord(record.data());
  if (ok && !WriteExactly(table_file_.get(), offset, record.data(), record_length_)) {
    ok = WriteFailed(file_name_, table_file_.get());
  }
  if (ok) {
    for (const auto& field : fields_)
      field->SaveValue();
  }
  table_file_->UnlockRegion(offset, record_length_);
  return ok && TouchHeader();
}

bool XBaseTable::SetDeleted(bool deleted) {
  if (!IsOpen()) return Fail("No table is open");
  if (current_record_ == 0) return Fail("Invalid record number");
  int64_t offset = RecordOffset(current_record_);
  if (!table_file_->LockRegion(offset, record_length_, true, true)) {
    return Fail("Error locking '" + file_name_ + "' for write: " + table_file_->ErrorText());
  }
  uint8_t flag = deleted ? '*' : ' ';
  bool ok = WriteExactly(table_file_.get(), offset, &flag, 1);
  if (ok) {
    deleted_ = deleted;
  } else {
    WriteFailed(file_name_, table_file_.get());
  }
  table_file_->UnlockRegion(offset, record_length_);
  return ok && TouchHeader();
}

void XBaseTable::RevertFields() {
  for (const auto& field : fields_)
    field->SwapValues();
}

// ---- memo file -----------------------------------------------------------

// Why a memo of `size` bytes (`blocks` blocks) cannot go to block `next`,
// or null when it can.
const char* XBaseTable::MemoDamage(uint32_t next, uint64_t blocks, uint64_t size) {
  // Block 0 is the header itself; writing there would destroy it.
  if (next == 0) return "Invalid next free block";
  if (next + blocks > UINT32_MAX || size > static_cast<uint64_t>(INT32_MAX)) {
    return "The memo file is full";
  }
  // Only the rest of the last text's block may lie between the end of the
  // file and the next free block; more is damage, and writing there would
  // leave a hole that reads as one endless text.
  int64_t end = memo_file_->Size();
  if (end >= 0 && static_cast<int64_t>(next - 1) * kMemoBlockSize > end) {
    return "Next free block beyond the end of the file";
  }
  return nullptr;
}

int64_t XBaseTable::WriteMemo(std::string_view text) {
  if (memo_file_ == nullptr) {
    Fail("Internal errorl opening '" + memo_name_ + "'");
    return -1;
  }
  if (!memo_file_->LockRegion(0, kMemoBlockSize, true, true)) {
    Fail("Error locking '" + memo_name_ + "' for write: " + memo_file_->ErrorText());
    return -1;
  }
  int64_t result = -1;
  uint8_t header[kMemoBlockSize] = {};
  uint64_t size = text.size() + 2;
  uint64_t blocks = (size + kMemoBlockSize - 1) / kMemoBlockSize;
  if (!ReadExactly(memo_file_.get(), 0, header, 4)) {
    ReadFailed(memo_name_, memo_file_.get());
  } else if (const char* damage = MemoDamage(GetLE32(header), blocks, size)) {
    memo_file_->SetError(damage);
    WriteFailed(memo_name_, memo_file_.get());
  } else {
    uint32_t next = GetLE32(header);
    std::string buffer;
    buffer.reserve(size);
    buffer.append(text);
    buffer.append("\x1A\x1A", 2);
    if (!WriteExactly(memo_file_.get(), static_cast<int64_t>(next) * kMemoBlockSize, buffer.data(),
                      static_cast<int32_t>(size))) {
      WriteFailed(memo_name_, memo_file_.get());
    } else {
      next_memo_block_ = static_cast<uint32_t>(next + blocks);
      PutLE32(header, next_memo_block_);
      if (WriteExactly(memo_file_.get(), 0, header, kMemoBlockSize)) {
        result = next;
      } else {
        WriteFailed(memo_name_, memo_file_.get());
      }
    }
  }
  memo_file_->UnlockRegion(0, kMemoBlockSize);
  return result;
}

bool XBaseTable::ReadMemo(uint32_t block, std::string* text) {
  text->clear();
  if (block == 0) return true;
  if (memo_file_ == nullptr) return Fail("Internal errorl opening '" + memo_name_ + "'");
  int64_t offset = static_cast<int64_t>(block) * kMemoBlockSize;
  int64_t size = memo_file_->Size();
  if (size < 0) return ReadFailed(memo_name_, memo_file_.get());
  if (offset >= size) {
    memo_file_->SetError(kTooShort);
    return ReadFailed(memo_name_, memo_file_.get());
  }
  char chunk[kMemoBlockSize];
  while (true) {
    int32_t n = memo_file_->ReadAt(offset, chunk, kMemoBlockSize);
    if (n < 0) {
      text->clear();
      return ReadFailed(memo_name_, memo_file_.get());
    }
    const void* end = memchr(chunk, kEndOfFile, static_cast<size_t>(n));
    if (end != nullptr) {
      text->append(chunk, static_cast<const char*>(end) - chunk);
      return true;
    }
    text->append(chunk, static_cast<size_t>(n));
    if (n < static_cast<int32_t>(kMemoBlockSize)) return true;
    offset += n;
  }
}

}  // namespace orin
