// XBaseDatabase and XBaseDatabaseView: the built-in "xbase3" database type,
// one table file (and its memo file) in the data directory with a single
// view that navigates and edits its records.
//
// A database keeps a list of open index files, the first being the main
// index: navigation follows it and find searches it, and every add and
// update keeps all of them current (deletion marks leave them alone).
// Pack and reindex write fresh files beside the old ones and rename them
// over the old names.
#ifndef ORIN_DATABASE_XBASE_DATABASE_H_
#define ORIN_DATABASE_XBASE_DATABASE_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/database.h"
#include "database/xbase_index.h"
#include "database/xbase_table.h"

namespace orin {

class FileManager;
class XBaseDatabase;
class XBaseVariable;

class XBaseDatabaseView : public DatabaseView {
 public:
  XBaseDatabaseView(ZetoVM* machine, Database* database, std::string_view name, XBaseTable* table);

  bool Close() override;
  bool Skip(int32_t count) override;
  bool SkipFiltered(int32_t count) override;
  bool Go(int64_t row) override;
  bool GoFiltered(int64_t row) override;
  bool Find(std::string_view value, bool exact) override;
  bool FindFiltered(std::string_view value, bool exact) override;
  bool Add() override;
  bool Delete() override;
  bool Undelete() override;
  bool Update() override;
  bool Filter(std::string_view expression) override;
  bool RevealStructureToFile(std::string_view file_name) override;
  bool RevealStructureToVariable(Variable* target) override;
  void RefreshVariables(bool all) override;
  // Re-reads the first record and rebuilds the variables (open, create,
  // pack). Variables a script still holds are detached.
  bool AttachTable(XBaseTable* table);
  // After the table was reopened (pack): each field variable takes the
  // field of its column, so references scripts hold stay live.
  bool Rebind();
  // Positions the main index on the current record (nothing to do
  // without an index or a current record).
  bool PositionIndex();

  XBaseTable* table() const { return table_; }
  bool eof() const { return eof_; }

 private:
  // Makes record n current and refreshes the variables; a failed read sets
  // the table's message.
  bool Read(uint32_t n);
  // Whether record n exists (re-reading the header when n is beyond the
  // known count).
  bool Exists(uint32_t n);
  // From record `from` in steps of `step` (+1 or -1), the first record the
  // filter accepts: *found 0 when none.
  bool ScanFiltered(uint32_t from, int step, uint32_t* found);
  // A filtered scan stops when the run aborted or timed out.
  bool Stopped();
  // Writes the modified field variables into the fields.
  void WriteFields();
  bool TableFailed();
  XBaseIndex* MainIndex() const;
  bool IndexFailed(XBaseIndex* index);
  // Moves |count| entries through the main index (a filter, when given,
  // decides which entries count).
  bool SkipIndexed(int32_t count, bool filtered);
  // From the main index's first or last entry, the first record the filter
  // accepts.
  bool EdgeFiltered(bool top);
  // Adds the current record's keys to every open index.
  bool IndexNewRecord();
  bool ReindexUpdatedRecord();

  XBaseDatabase* owner_;
  XBaseTable* table_;
  bool eof_ = false;
};

class XBaseDatabase : public Database {
 public:
  XBaseDatabase(ZetoVM* machine, DatabaseRegistry* registry, std::string_view name);
  ~XBaseDatabase() override;

  bool Open(std::string_view file, std::string_view name, std::string_view text1,
            std::string_view text2, const std::string* text3) override;
  bool Close() override;
  bool Create(std::string_view file, std::string_view name, std::string_view fields) override;
  bool SetIndexes(ZetoVM& machine, std::string_view list) override;
  bool SelectMainIndex(std::string_view index) override;
  bool MakeIndex(const MakeIndexOperands& operands) override;
  bool Pack() override;
  bool Reindex() override;
  bool OpenView(std::string_view text1, std::string_view text2, std::string_view text3) override;
  bool CloseView(std::string_view view) override;
  bool Query(std::string_view text1, std::string_view text2) override;
  bool Commit() override { return true; }
  bool Rollback() override { return true; }
  bool Transact() override { return true; }
  bool Command(std::string_view text1, std::string_view text2) override;

  XBaseTable* table() const { return table_.get(); }
  // Open indexes, the main one first.
  const std::vector<std::unique_ptr<XBaseIndex>>& indexes() const { return indexes_; }
  // The index key of the table's current record (the view's variables are
  // refreshed from the fields first).
  bool ComputeKey(XBaseIndex* index, std::string* key);

 private:
  void CloseIndexes() { indexes_.clear(); }
  // Inserts the key of every record of the table into `index`.
  bool FillIndex(XBaseIndex* index);
  // Reserves a temporary file beside the table; "" with the message set.
  std::string TempName(const std::string& beside);
  bool PackInto(const std::string& temp_table, const std::string& temp_memo,
                const std::vector<std::string>& temp_indexes);
  // Makes the view over the open table and registers it as primary.
  bool MakeView();
  bool TableFailed();

  FileManager* files_;
  std::unique_ptr<XBaseTable> table_;
  XBaseDatabaseView* view_ = nullptr;
  std::vector<std::unique_ptr<XBaseIndex>> indexes_;
};

}  // namespace orin

#endif  // ORIN_DATABASE_XBASE_DATABASE_H_
