// VariableHash: a scope of variables (globals, one function call's locals,
// the system variables) whose layout the compiler fixed.
//
// Entry numbers, bucket chains and name ids live in a VariableHashLayout
// (image/), read from the compiled file; compiled code reaches variables by
// entry number (Index) and never hashes. Names are looked up at run time by
// the lookup2 hash of their lower-cased bytes, walking a chain sorted by
// length and name that stops at the first larger name. Entries are only
// ever added, in steps of 512 slots, and their numbers never change.
//
// A table holds one reference on each entry's variable. Every operation
// that stores a variable given by the caller (AddEntry, Insert,
// ReplaceVariable) adds a reference of its own; the caller keeps its one.
// Variables returned are borrowed from the table.
//
// A table made over a loaded layout shares it until its first new entry,
// then works on a copy: function calls get their locals without copying the
// template. Such a shared layout must stay unchanged while tables use it.
//
// Variants: UserVariableHash (globals, locals), SystemVariableHash (save
// levels for spush/spop), ClonedVariableHash (an asynchronous task's view,
// forwarding by name to a backing table), ReferenceVariableHash (entries
// referring to another table's variables).
#ifndef ORIN_VARIABLES_VARIABLE_HASH_H_
#define ORIN_VARIABLES_VARIABLE_HASH_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/variable_hash_layout.h"
#include "util/byte_string.h"

namespace orin {

class Dictionary;
class Stream;
class TaggedFile;
class Variable;
class VariableList;

class VariableHash {
 public:
  static constexpr uint32_t kGrowth = 512;

  // An empty table of 2^bits buckets and `capacity` entry slots; new names
  // are added to `dictionary`.
  VariableHash(Dictionary* dictionary, uint32_t bits, uint32_t capacity = kGrowth);
  // A live table over `layout` (shared, see above): its entries, all empty.
  VariableHash(Dictionary* dictionary, const VariableHashLayout* layout);
  // A copy with the same layout and names; each variable cloned or left
  // empty, as `clone_variables` says. Names are read from (and added to)
  // `dictionary`, or the other table's dictionary when it is null; a
  // different one must hold the same names at the same ids.
  VariableHash(const VariableHash& other, bool clone_variables, Dictionary* dictionary = nullptr);
  VariableHash& operator=(const VariableHash&) = delete;
  // Releases every entry's variable.
  virtual ~VariableHash();

  // Appends an entry and links it into its chain; returns its number. Given
  // only a name (name_id -1; length -1: up to the first NUL), the name is
  // added to the dictionary. `variable` may be null. No duplicate check.
  virtual int32_t AddEntry(int32_t name_id, const char* name, int64_t length, Variable* variable);
  virtual int32_t AddById(int32_t name_id);
  virtual int32_t AddByName(const char* name, int64_t length);
  // Adds an entry named by the variable's name holding it.
  virtual int32_t Insert(Variable* variable);
  // The entry of the variable's name holds it instead of its old variable;
  // without such an entry the variable is inserted.
  virtual bool ReplaceVariable(Variable* variable);
  // ReplaceVariable for a variable just made: the table takes over the
  // caller's only reference.
  bool AdoptVariable(Variable* variable);
  // The variable of that name (created and inserted when missing) given
  // the text. Returns it.
  virtual Variable* SetVariable(const char* name, int64_t length, const char* value,
                                int64_t value_length);
  // The entry's variable becomes a new reference, named like the entry, to
  // `target`; the old variable is released.
  virtual bool MakeReference(int32_t entry, Variable* target);
  // Resolves `path` with creation and stores the text. With
  // `repeats_become_array`, a variable that is an array or holds a value
  // gets the text as a new last element instead (a scalar first becomes an
  // array holding its old value as element 1). Returns the variable that
  // received the text, or null for an unusable path.
  virtual Variable* SetFromText(const char* path, int64_t length, const char* value,
                                int64_t value_length, bool repeats_become_array);
  // The entry number of a name (letter case ignored), or -1.
  virtual int32_t FindEntry(std::string_view name);
  int32_t FindEntryById(int32_t name_id);
  // The link word stored with new entries.
  virtual int32_t ScopeCode() { return 0; }
  // Clears (Variable::Clear) the variable of that name: true when there was
  // one.
  virtual bool ClearVariable(const char* name, int64_t length);
  // Whether the name has an entry; *out gets its variable, created when the
  // entry has none and `create` is set (entries are never added here).
  virtual bool Find(Variable** out, const char* name, int64_t length, bool create);
  // Resolves "base:member[3]..."; a missing base is inserted and missing
  // elements made only with `create`. *out is null when something is
  // missing; false only for a malformed path (a bad index, a missing ']').
  virtual bool LookupPath(Variable** out, const char* path, int64_t length, bool create);
  // The variable of entry `entry` (none outside 0 .. Entries()-1), created
  // when missing and `create` is set.
  virtual Variable* Index(int32_t entry, bool create);
  // The machine's fast path: the variable entry `entry` holds, or null when
  // it has none or is out of range (then ask Index). Subclasses whose Index
  // answers something else leave their entries empty, as the clone does.
  Variable* PeekEntry(int32_t entry) const {
    return static_cast<uint32_t>(entry) < entries_.size() ? entries_[entry].variable : nullptr;
  }
  virtual uint32_t Entries() { return static_cast<uint32_t>(entries_.size()); }
  // Entry slots allocated; grows by kGrowth.
  uint32_t Capacity() const { return capacity_; }
  // Appends every existing entry variable to `list`.
  virtual void Variables(VariableList* list);
  // The layout in the compiled file's form; false with ErrorText on a
  // short write.
  virtual bool Write(Stream& stream);
  virtual bool WriteSection(TaggedFile& file, uint32_t id);
  virtual const ByteString& Name() { return name_; }
  virtual void SetName(std::string_view name) { name_.Assign(name); }
  // The table a clone of this one copies: the table itself, or a clone's
  // backing table.
  virtual VariableHash* BaseTable() { return this; }
  // A new table of this one's kind copying it (see the copy constructor).
  virtual VariableHash* Copy(bool clone_variables, Dictionary* dictionary) const;

  // Releases every entry's variable; the entries and names stay.
  void Dump();
  // Makes a table over a shared layout as good as new for another call of
  // its function, keeping the variables only it holds (cleared) and
  // releasing the others. False, with nothing done, once entries were added.
  bool Recycle();
  const std::string& ErrorText() const { return error_; }
  const VariableHashLayout& layout() const { return own_ ? *own_ : *shared_; }
  Dictionary* dictionary() const { return dictionary_; }
  std::string_view EntryName(uint32_t entry) const;
  int32_t EntryLink(uint32_t entry) const { return entries_[entry].link; }

 protected:
  struct Entry {
    int32_t link;
    Variable* variable;  // one reference held, or null
  };

  // The entry holds `variable` (adding a reference) and releases its old one.
  void SetSlot(uint32_t entry, Variable* variable);
  // Called before a slot's variable is replaced (save levels).
  virtual void SlotChanging(uint32_t entry) { (void)entry; }
  Variable* VariableAt(uint32_t entry) const { return entries_[entry].variable; }

  Dictionary* dictionary_;
  std::vector<Entry> entries_;

 private:
  VariableHashLayout& MutableLayout();
  Variable* NewEntryVariable(uint32_t entry);

  uint32_t capacity_;
  const VariableHashLayout* shared_ = nullptr;
  std::unique_ptr<VariableHashLayout> own_;
  ByteString name_;
  std::string error_;
};

class UserVariableHash : public VariableHash {
 public:
  using VariableHash::VariableHash;
  VariableHash* Copy(bool clone_variables, Dictionary* dictionary) const override;
};

class SystemVariableHash : public VariableHash {
 public:
  SystemVariableHash(Dictionary* dictionary, uint32_t bits, uint32_t capacity = kGrowth)
      : VariableHash(dictionary, bits, capacity) {}
  SystemVariableHash(Dictionary* dictionary, const VariableHashLayout* layout)
      : VariableHash(dictionary, layout) {}
  SystemVariableHash(const SystemVariableHash& other, bool clone_variables,
                     Dictionary* dictionary = nullptr);
  ~SystemVariableHash() override;

  int32_t ScopeCode() override { return scope_code_; }
  void SetScopeCode(int32_t code) { scope_code_ = code; }
  VariableHash* Copy(bool clone_variables, Dictionary* dictionary) const override;

  // spush: slots replaced from now on are recorded.
  void PushSaveLevel() { levels_.emplace_back(); }
  // spop: every slot recorded in the innermost level gets its old variable
  // back. False when no level is open.
  bool PopSaveLevel();
  size_t SaveLevels() const { return levels_.size(); }

 protected:
  void SlotChanging(uint32_t entry) override;

 private:
  struct Saved {
    uint32_t entry;
    Variable* variable;  // one reference held, or null
  };
  int32_t scope_code_ = 0;
  std::vector<std::vector<Saved>> levels_;
};

// An asynchronous task's view of a table: the source's layout, each entry
// forwarding by name to a backing table made as a copy of the source's base
// table (a system table stays one), with its own copy of the dictionary.
// An entry's link word caches its backing entry number (-1 until first
// resolved); a backing entry missing is added when creation is asked for.
class ClonedVariableHash : public VariableHash {
 public:
  ClonedVariableHash(VariableHash& source, bool copy_variables);
  ~ClonedVariableHash() override;

  int32_t Insert(Variable* variable) override;
  bool ReplaceVariable(Variable* variable) override;
  bool MakeReference(int32_t entry, Variable* target) override;
  bool Find(Variable** out, const char* name, int64_t length, bool create) override;
  Variable* Index(int32_t entry, bool create) override;
  void Variables(VariableList* list) override;
  VariableHash* BaseTable() override { return backing_.get(); }
  VariableHash* Copy(bool clone_variables, Dictionary* dictionary) const override;

 private:
  int32_t BackingEntry(uint32_t entry, bool create);

  std::unique_ptr<Dictionary> backing_dictionary_;
  std::unique_ptr<VariableHash> backing_;
};

// A table whose entries are references to the variables of the entries of
// the same numbers in another table (made there when needed). Entries added
// to it later are its own.
class ReferenceVariableHash : public VariableHash {
 public:
  explicit ReferenceVariableHash(VariableHash* source);

  bool Find(Variable** out, const char* name, int64_t length, bool create) override;
  Variable* Index(int32_t entry, bool create) override;

 private:
  VariableHash* source_;
  uint32_t mapped_;  // entries that refer to the source
};

}  // namespace orin

#endif  // ORIN_VARIABLES_VARIABLE_HASH_H_
