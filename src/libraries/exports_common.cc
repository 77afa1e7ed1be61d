#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "libraries/exports.h"
#include "variables/variable.h"
#include "variables/variable_list.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

namespace orin {

void AppendElementReferences(Variable* v, VariableList* list) {
  AggregateElementTree* tree = v == nullptr ? nullptr : v->RealIdentity()->ElementTree();
  if (tree == nullptr) return;
  tree->ForEach([list](AggregateElement* element) {
    ByteString key = element->Key().Text();
    list->InsertAdopted(new ReferenceVariable(key.view(), element->GetVariable()));
  });
}

int32_t Length32(size_t length) {
  return static_cast<int32_t>(std::min<size_t>(length, kMaxByteStringLength));
}

char* AllocatedText(std::string_view text, int32_t* length, int32_t* capacity) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  if (length != nullptr) *length = Length32(text.size());
  if (capacity != nullptr) *capacity = Length32(text.size() + 1);
  return copy;
}

FileManager* ProgramFiles(ztProgram* program) {
  if (program == nullptr) return nullptr;
  ZetoApplication* application = Host(program)->application();
  return application != nullptr ? application->GetFileManager() : nullptr;
}

}  // namespace orin
