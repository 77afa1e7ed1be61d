// Import: the ZtIMPORT block, and ZtEXPORT.
//
// `import` and `importf` open a delimited file of the data area and run
// the block's body once per record (with `importf`, once per record the
// filter expression accepts), the named variables holding the record's
// fields and `recno` its number. The loop instruction reads the next
// record and jumps back to the body; the stop instruction and the end of
// the file leave the block. `export` appends one record to a file in the
// form import reads back (files/delimited_file.h).
#ifndef ORIN_VM_IMPORT_H_
#define ORIN_VM_IMPORT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/delimited_file.h"
#include "files/file.h"
#include "variables/variable.h"
#include "vm/feature.h"

namespace orin {

class Segment;
class ZetoVM;

class Import : public Feature {
 public:
  Import(ZetoVM* machine, std::string path, std::string delimiter, std::string_view field_names,
         Segment* filter);
  ~Import() override;

  // Opens the file; false with ErrorText set.
  bool Open();
  // Reads up to the next record (the next the filter accepts), assigns its
  // fields and `recno`. False at the end, on a read error (ErrorText set)
  // or when the filter stopped the run.
  bool NextRecord();

  const std::string& ErrorText() const { return error_; }

 private:
  bool Accepted();

  ZetoVM* machine_;
  int32_t record_count_ = 0;
  VarRef recno_;
  std::vector<VarRef> fields_;  // null where a name resolves to nothing
  std::string path_;
  std::string delimiter_;
  std::unique_ptr<File> file_;
  std::unique_ptr<DelimitedReader> reader_;
  std::vector<std::string> values_;
  Segment* filter_;  // owned by the machine's program
  std::string error_;
};

// The handlers of import, importf, import_loop, import_stop and export.
struct TagInstruction;
void ImportBegin(ZetoVM& machine, const TagInstruction& instruction);
void ImportLoop(ZetoVM& machine, const TagInstruction& instruction);
void ImportStop(ZetoVM& machine, const TagInstruction& instruction);
void ExportRecord(ZetoVM& machine, const TagInstruction& instruction);

}  // namespace orin

#endif  // ORIN_VM_IMPORT_H_
