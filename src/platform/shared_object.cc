#include "platform/shared_object.h"

#include <dlfcn.h>

namespace orin {

bool SharedObject::Open(const std::string& name) {
  Close();
  handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* e = ::dlerror();
    error_ = e ? e : "cannot load library";
    return false;
  }
  name_ = name;
  return true;
}

void SharedObject::Close() {
  // The libraries stay mapped: OpenSSL keeps thread-local state and exit
  // handlers that must not outlive their code.
  handle_ = nullptr;
}

void* SharedObject::Symbol(const char* symbol) const {
  return handle_ ? ::dlsym(handle_, symbol) : nullptr;
}

}  // namespace orin
