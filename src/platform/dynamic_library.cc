#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orin {

namespace {

// dlerror's text, or the errno text when the loader left none.
std::string LastLoaderError() {
  const char* text = ::dlerror();
  if (text != nullptr) return text;
  int err = errno;
  if (err != 0) return std::strerror(err);
  return "Unknown error " + std::to_string(err);
}

}  // namespace

void* OpenDynamicLibrary(const std::string& path, std::string* error) {
  ::dlerror();
  errno = 0;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr) *error = LastLoaderError();
  return handle;
}

void* HostModuleHandle() {
  return ::dlopen(nullptr, RTLD_NOW);
}

void* DynamicSymbol(void* handle, const std::string& name, std::string* error) {
  ::dlerror();
  errno = 0;
  void* address = ::dlsym(handle, name.c_str());
  if (address == nullptr && error != nullptr) *error = LastLoaderError();
  return address;
}

void CloseDynamicLibrary(void* handle) {
  if (handle != nullptr) ::dlclose(handle);
}

bool SharedObject::Open(const std::string& name) {
  Close();
  handle_ = OpenDynamicLibrary(name, &error_);
  if (handle_ == nullptr) return false;
  name_ = name;
  return true;
}

void* SharedObject::Symbol(const char* symbol) const {
  return handle_ != nullptr ? DynamicSymbol(handle_, symbol, nullptr) : nullptr;
}

std::string ExecutableDirectory() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string text(path, static_cast<size_t>(n));
  size_t slash = text.rfind('/');
  return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

}  // namespace orin
