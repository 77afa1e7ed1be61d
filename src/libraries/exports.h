// Shared helpers of the exported plug-in interface (exports_*.cc): every
// exported function is a thin forward to the host object's own operation.
#ifndef ORIN_LIBRARIES_EXPORTS_H_
#define ORIN_LIBRARIES_EXPORTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "libraries/handles.h"
#include "orin/plugin.h"
#include "util/byte_string.h"

namespace orin {

class FileManager;
class ZetoApplication;

// Appends to `list`, for each element of the aggregate `v` in key order, a
// new reference named by the element's key text ("[3]", ":name").
void AppendElementReferences(Variable* v, VariableList* list);

// malloc'ed copy of `text` with a NUL after it (what ztProgram_Free frees);
// null when memory runs out.
char* AllocatedText(std::string_view text, int32_t* length, int32_t* capacity = nullptr);

// A length that fits the interface's signed 32-bit lengths.
int32_t Length32(size_t length);

// The run's file manager, or null.
FileManager* ProgramFiles(ztProgram* program);

// The error text of a file call made without a running script.
inline constexpr char kNoProgram[] = "No script is running";

}  // namespace orin

#endif  // ORIN_LIBRARIES_EXPORTS_H_
