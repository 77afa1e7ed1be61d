// Exported interface: system libraries (ztSystemLibrary_*); the program
// hands them out through ztProgram_SystemLibrary.
#include "libraries/exports.h"
#include "libraries/library_registries.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

using namespace orin;

extern "C" {

void* ztSystemLibrary_GetFunction(ztSystemLibrary* library, const char* symbol) {
  return SystemLibraryManager::GetFunction(Host(library), MeasuredText(symbol, -1));
}

const char* ztSystemLibrary_Error(ztProgram* program, ztSystemLibrary* library, int32_t* length) {
  const std::string* text = nullptr;
  if (library != nullptr) {
    text = &Host(library)->error;
  } else if (ZetoApplication* application =
                 (program != nullptr ? Host(program)->application() : nullptr)) {
    if (SystemLibraryManager* systems = application->GetSystemLibraryManager()) {
      text = &systems->ErrorText();
    }
  }
  if (length != nullptr) *length = text != nullptr ? Length32(text->size()) : 0;
  return text != nullptr ? text->c_str() : "";
}

}  // extern "C"
