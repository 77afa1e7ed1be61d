// XBaseTable: one xBase table file of fixed-length records and its ".dbt"
// memo file (see docs/xbase.md for the byte layout).
//
// Several processes and threads may use one table at once; they coordinate
// only through byte-range locks on the files (the header bytes while the
// record count changes or the header is rewritten, a record's bytes while it
// is rewritten, the memo header while a memo is appended) and by re-reading
// the header whenever the record count matters. One table object serves one
// script run (one thread) at a time.
//
// Every operation returns success or failure; a failure leaves its message
// in error(), leaves the current record as it was and releases every lock
// it took.
#ifndef ORIN_DATABASE_XBASE_TABLE_H_
#define ORIN_DATABASE_XBASE_TABLE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/xbase_field.h"
#include "files/file_manager.h"

namespace orin {

class XBaseTable {
 public:
  // How the database layer opens tables: read and write, the file must exist.
  static constexpr uint32_t kOpenMode = kOpenRead | kOpenWrite | kOpenMustExist;
  // Creation fails beyond this many fields (the header length is 16 bits).
  static constexpr size_t kMaxFields = 2046;
  static constexpr uint32_t kMemoBlockSize = 512;

  // The manager must outlive the table (or the table must be closed first).
  explicit XBaseTable(FileManager* files);
  ~XBaseTable();
  XBaseTable(const XBaseTable&) = delete;
  XBaseTable& operator=(const XBaseTable&) = delete;

  // Opens an existing table in an area (kDataArea for scripts), reads its
  // header and fields, and opens the memo file when the table has one.
  bool Open(int32_t area, std::string_view name, uint32_t mode = kOpenMode);
  // Creates (or truncates) the table and, when a field is a memo, the memo
  // file: `memo_name` or, when empty, MemoFileName(name). The new table is
  // open and empty afterwards.
  bool Create(int32_t area, std::string_view name, std::string_view memo_name,
              const std::vector<XBaseFieldDefinition>& fields);
  // Closes both files and forgets the fields.
  void Close();
  bool IsOpen() const { return table_file_ != nullptr; }

  // Makes record n (from 1) current: its deletion flag and every field's
  // values. A number beyond the known count re-reads the header first.
  bool ReadRecord(uint32_t n);
  // Writes the current field values as a new last record and makes it
  // current (not deleted).
  bool AppendRecord();
  // Rewrites the current record from the current field values; on success
  // they become the saved values.
  bool UpdateRecord();
  // Rewrites only the deletion flag of the current record.
  bool SetDeleted(bool deleted);
  // Swaps current and saved values of every field.
  void RevertFields();
  // Re-reads the header under its lock, so record_count() includes records
  // other processes have appended since.
  bool RefreshHeader();

  // Fields in column order; the table owns them.
  const std::vector<std::unique_ptr<XBaseField>>& fields() const { return fields_; }
  size_t field_count() const { return fields_.size(); }
  XBaseField* field(size_t index) const { return fields_[index].get(); }
  // By name, ignoring ASCII case; null when absent.
  XBaseField* FindField(std::string_view name) const;

  // The count as last read from the header (see RefreshHeader).
  uint32_t record_count() const { return record_count_; }
  uint16_t header_length() const { return header_length_; }
  uint16_t record_length() const { return record_length_; }
  // 0 when no record has been read.
  uint32_t current_record() const { return current_record_; }
  bool deleted() const { return deleted_; }
  uint8_t version() const { return version_; }
  // Date of the last update: years since 1900, month, day.
  const uint8_t* date() const { return date_; }
  uint32_t next_memo_block() const { return next_memo_block_; }
  bool has_memo() const { return memo_file_ != nullptr; }
  const std::string& file_name() const { return file_name_; }
  const std::string& memo_file_name() const { return memo_name_; }
  const std::string& error() const { return error_; }
  void SetError(std::string text) { error_ = std::move(text); }

  // The memo file's name for a table file: the extension replaced by (or,
  // without one, extended with) ".dbt".
  static std::string MemoFileName(std::string_view table_name);

  // Memo storage, used by XBaseMemoField. WriteMemo appends the text in
  // fresh blocks and returns its first block, or -1 with error() set.
  // ReadMemo reads the text stored at `block` up to its end mark.
  int64_t WriteMemo(std::string_view text);
  bool ReadMemo(uint32_t block, std::string* text);

 private:
  bool ReadHeader();
  bool WriteHeader();
  bool ReadFieldDescriptors();
  bool WriteFieldDescriptors();
  bool OpenMemo(int32_t area, uint32_t mode);
  const char* MemoDamage(uint32_t next, uint64_t blocks, uint64_t size);
  // Builds the record bytes (deletion flag and every field's stored form).
  bool BuildRecord(uint8_t* record);
  // Re-reads and rewrites the header under the header lock (after a
  // record rewrite, so the date moves on).
  bool TouchHeader();
  bool LockHeader();
  void UnlockHeader();
  int64_t RecordOffset(uint32_t n) const;
  bool Fail(std::string text);
  bool ReadFailed(const std::string& name, File* file);
  bool WriteFailed(const std::string& name, File* file);

  FileManager* files_;
  std::string file_name_;
  std::string memo_name_;
  std::string error_;
  std::unique_ptr<File> table_file_;
  std::unique_ptr<File> memo_file_;
  uint8_t version_ = 0;
  uint8_t date_[3] = {0, 0, 0};
  uint32_t record_count_ = 0;
  uint16_t header_length_ = 0;
  uint16_t record_length_ = 0;
  uint32_t current_record_ = 0;
  bool deleted_ = false;
  std::vector<std::unique_ptr<XBaseField>> fields_;
  uint32_t next_memo_block_ = 0;
  bool writable_ = false;  // opened for writing
  int64_t known_end_ = 0;  // the file is known to be at least this long
};

}  // namespace orin

#endif  // ORIN_DATABASE_XBASE_TABLE_H_
