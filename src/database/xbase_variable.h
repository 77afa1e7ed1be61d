// The variables of an xBase view: the four special ones (totrec, recno,
// deleted, eof), read from the table each time, and one per field, which
// caches the field's value and converts it by field type.
//
// Setting a field variable only caches the new value and marks the
// variable modified; add and update write modified values into the fields
// (WriteField) before the record goes to the file. Navigation forgets the
// cache, so the next read takes the new record's value.
#ifndef ORIN_DATABASE_XBASE_VARIABLE_H_
#define ORIN_DATABASE_XBASE_VARIABLE_H_

#include <string>
#include <string_view>

#include "database/database.h"

namespace orin {

class XBaseDatabaseView;
class XBaseField;

class XBaseVariable : public DatabaseVariable {
 public:
  // `field` is null for the special variables.
  XBaseVariable(std::string_view name, XBaseDatabaseView* view, XBaseField* field)
      : DatabaseVariable(name), view_(view), field_(field) {}

  XBaseField* field() const { return field_; }
  bool modified() const { return modified_; }
  // The next read takes the value from the field again; an unwritten
  // change is dropped.
  void Forget() {
    cached_ = false;
    modified_ = false;
  }
  // The table was reopened: `field` is this column now.
  void Rebind(XBaseField* field) {
    field_ = field;
    Forget();
  }
  // Puts a modified value into the field and clears the modified flag.
  virtual void WriteField() {}

  void Detach() override;
  bool IsCurrent() override { return detached_ || cached_; }
  void Refresh() override;

  void Clear() override;
  bool SetValue_Variable(Variable* source) override;
  bool SetValue(const char* bytes, int64_t length) override;
  bool SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) override;
  bool SetValue_Integer(int32_t value) override;
  bool SetValue_DecimalCopy(const mpd_t* value) override;
  bool SetValue_Decimal(mpd_t* value) override;

 protected:
  // Stores the field's (or table's) value with the Store* functions.
  virtual void Load() = 0;
  // Takes a new value from `source` (resolved, not this variable); false
  // refuses it and keeps the old value.
  virtual bool Assign(Variable* source) = 0;

  XBaseDatabaseView* view_;
  XBaseField* field_;
  bool cached_ = false;
  bool modified_ = false;

 private:
  bool Set(Variable* source);
};

// The special variables: recomputed on every read, assignments ignored.
class XBaseSpecialVariable : public XBaseVariable {
 public:
  using XBaseVariable::XBaseVariable;
  bool IsCurrent() override { return detached_; }

 protected:
  bool Assign(Variable*) override { return true; }
};

class XBaseTotalRecordsVariable : public XBaseSpecialVariable {
 public:
  explicit XBaseTotalRecordsVariable(XBaseDatabaseView* view)
      : XBaseSpecialVariable("totrec", view, nullptr) {}

 protected:
  void Load() override;
};

class XBaseRecordNumberVariable : public XBaseSpecialVariable {
 public:
  explicit XBaseRecordNumberVariable(XBaseDatabaseView* view)
      : XBaseSpecialVariable("recno", view, nullptr) {}

 protected:
  void Load() override;
};

class XBaseDeletedVariable : public XBaseSpecialVariable {
 public:
  explicit XBaseDeletedVariable(XBaseDatabaseView* view)
      : XBaseSpecialVariable("deleted", view, nullptr) {}

 protected:
  void Load() override;
};

class XBaseEOFVariable : public XBaseSpecialVariable {
 public:
  explicit XBaseEOFVariable(XBaseDatabaseView* view) : XBaseSpecialVariable("eof", view, nullptr) {}

 protected:
  void Load() override;
};

// N fields. A text is accepted only as an optional '-' and digits with at
// most one '.', and is cut or padded to the field's decimal count (no
// rounding); a decimal number is truncated toward zero to that count.
class XBaseNumberVariable : public XBaseVariable {
 public:
  XBaseNumberVariable(XBaseDatabaseView* view, XBaseField* field);
  void WriteField() override;

 protected:
  void Load() override;
  bool Assign(Variable* source) override;
};

// L fields: "1" or "0"; written as "T" or "F".
class XBaseBooleanVariable : public XBaseVariable {
 public:
  XBaseBooleanVariable(XBaseDatabaseView* view, XBaseField* field);
  void WriteField() override;

 protected:
  void Load() override;
  bool Assign(Variable* source) override;
};

// C, D and M fields: the text, cut to the field length (not for memos),
// trailing white space removed.
class XBaseStringVariable : public XBaseVariable {
 public:
  XBaseStringVariable(XBaseDatabaseView* view, XBaseField* field);
  void WriteField() override;

 protected:
  void Load() override;
  bool Assign(Variable* source) override;
};

// Kept for date-specific handling; views read and write D fields as their
// 8-character text through XBaseStringVariable.
class XBaseDateVariable : public XBaseStringVariable {
 public:
  using XBaseStringVariable::XBaseStringVariable;
};

// `text` when it is an optional '-' followed by digits with at most one
// '.', adjusted to `decimals` fraction digits (cut, never rounded; an empty
// text is 0); false otherwise.
bool AdjustNumberText(std::string_view text, uint32_t decimals, std::string* out);

}  // namespace orin

#endif  // ORIN_DATABASE_XBASE_VARIABLE_H_
