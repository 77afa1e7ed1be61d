// XBaseField and XBaseMemoField: the columns of an xBase table.
//
// A field describes one column and carries two values of the table's
// current record: the saved value (as last read from or written to the
// file) and the current value (what the script has set since). Values are
// texts; a C, N, D or L value never exceeds the field length, a memo's is
// the whole memo text. A memo text is read from the ".dbt" file only when
// first asked for.
#ifndef ORIN_DATABASE_XBASE_FIELD_H_
#define ORIN_DATABASE_XBASE_FIELD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

class XBaseTable;

// The codes by which the rest of the system speaks of field types.
enum XBaseFieldType : int32_t {
  kXBaseCharacter = 0,  // 'C'
  kXBaseNumber = 1,     // 'N'
  kXBaseDate = 2,       // 'D'
  kXBaseLogical = 3,    // 'L'
  kXBaseMemo = 4,       // 'M'
};

// The letter stored in a field descriptor for a type code ('?' if none).
char XBaseTypeLetter(int32_t type);

// One column of a table to be created.
struct XBaseFieldDefinition {
  std::string name;  // at most 10 characters
  int32_t type = kXBaseCharacter;
  uint32_t length = 0;
  uint32_t decimals = 0;
};

// Parses a field specification such as
//   "name char(10), price number(5.2), born date, ok bool, note memo"
// into definitions (names upper-cased). On failure returns false, leaves
// the message in *error and `fields` cleared.
bool ParseXBaseFieldSpecification(std::string_view text, std::vector<XBaseFieldDefinition>* fields,
                                  std::string* error);

class XBaseField {
 public:
  XBaseField(XBaseTable* table, std::string name, int32_t type, uint32_t length, uint32_t decimals);
  virtual ~XBaseField() = default;
  XBaseField(const XBaseField&) = delete;
  XBaseField& operator=(const XBaseField&) = delete;

  // Decodes the field's `length()` bytes of a record into both values.
  virtual void Load(const uint8_t* bytes);
  // Encodes the current value into the field's `length()` bytes of a
  // record. A modified memo writes its text to the memo file first; false
  // (with the table's error set) when that fails.
  virtual bool Store(uint8_t* bytes);
  // Sets the current value: at most the field length is kept (a memo keeps
  // the whole text and is marked modified).
  virtual void SetValue(std::string_view value);

  const std::string& name() const { return name_; }
  int32_t type() const { return type_; }
  uint32_t length() const { return length_; }
  uint32_t decimals() const { return decimals_; }
  char type_letter() const { return XBaseTypeLetter(type_); }
  XBaseTable* table() const { return table_; }

  // The current value; a memo loads its text on first use (an unreadable
  // memo gives an empty text and sets the table's error, see LoadValue).
  virtual std::string_view Value();
  // The value as last read from or written to the file.
  virtual std::string_view SavedValue();
  // Makes sure Value() can be answered; false with the table's error set
  // when a memo text cannot be read. Plain fields always succeed.
  virtual bool LoadValue() { return true; }
  // Swaps the current and the saved value (index upkeep compares both).
  virtual void SwapValues();
  // Makes the current value the saved value, after a successful write.
  virtual void SaveValue();

 protected:
  XBaseTable* table_;
  std::string name_;
  int32_t type_;
  uint32_t length_;
  uint32_t decimals_;
  std::string current_;
  std::string saved_;
};

// An M field: its record bytes hold the number of the memo's first block
// in the ".dbt" file, its value is the memo text.
class XBaseMemoField : public XBaseField {
 public:
  // Tables created here use width 10; files from elsewhere may differ.
  XBaseMemoField(XBaseTable* table, std::string name, uint32_t length = 10);

  void Load(const uint8_t* bytes) override;
  bool Store(uint8_t* bytes) override;
  void SetValue(std::string_view value) override;
  std::string_view Value() override;
  std::string_view SavedValue() override;
  bool LoadValue() override;
  void SwapValues() override;
  void SaveValue() override;

  bool modified() const { return modified_; }
  // The block number the record holds (0 when the memo is empty).
  uint32_t Block() const;

 private:
  bool modified_ = false;
  bool loaded_ = false;  // the memo texts reflect the current block number
  std::string memo_;
  std::string saved_memo_;
};

}  // namespace orin

#endif  // ORIN_DATABASE_XBASE_FIELD_H_
