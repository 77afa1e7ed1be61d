#include "libraries/external_library.h"

#include "platform/dynamic_library.h"

namespace orin {

namespace {

using RegisterFunction = void (*)(void* host);

void* HostHandle() {
  static void* const host = HostModuleHandle();
  return host;
}

}  // namespace

ExternalLibrary::ExternalLibrary(std::string_view path, int32_t type) : path_(path), type_(type) {}

ExternalLibrary::~ExternalLibrary() {
  CloseDynamicLibrary(handle_);
}

bool ExternalLibrary::Load(const std::string& path) {
  handle_ = OpenDynamicLibrary(path, &error_);
  if (handle_ == nullptr) return false;
  std::string ignored;
  void* entry = DynamicSymbol(handle_, "zeto_register_library", &ignored);
  if (entry == nullptr) entry = DynamicSymbol(handle_, "ZetoRegisterLibrary", &ignored);
  if (entry != nullptr) reinterpret_cast<RegisterFunction>(entry)(HostHandle());
  return true;
}

void* ExternalLibrary::Symbol(std::string_view name, std::string* error) const {
  std::string loader_error;
  void* address =
      handle_ == nullptr ? nullptr : DynamicSymbol(handle_, std::string(name), &loader_error);
  if (address == nullptr && error != nullptr) {
    *error = "Unknown symbol '";
    error->append(name);
    *error += "': ";
    *error += loader_error;
  }
  return address;
}

ExternalLibraryManager::ExternalLibraryManager() : libraries_(12, true) {}

ExternalLibraryManager::~ExternalLibraryManager() = default;

std::unique_ptr<ExternalLibrary> ExternalLibraryManager::CreateLibrary(std::string_view path,
                                                                       int32_t type) {
  return std::make_unique<ExternalLibrary>(path, type);
}

ExternalLibrary* ExternalLibraryManager::Open(std::string_view path, int32_t type,
                                              std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::unique_ptr<ExternalLibrary>* cached = libraries_.Find(path)) return cached->get();
  std::unique_ptr<ExternalLibrary> library = CreateLibrary(path, type);
  if (!library->Load(std::string(path))) {
    error_ = library->ErrorText();
    if (error != nullptr) *error = error_;
    return nullptr;
  }
  return libraries_.Set(path, std::move(library)).get();
}

std::string ExternalLibraryManager::ErrorText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

size_t ExternalLibraryManager::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return libraries_.size();
}

ExternalLibraryManager& ProcessLibraryManager() {
  // Never destroyed: libraries may still be running code on other threads
  // when the process exits.
  static ExternalLibraryManager* const manager = new ExternalLibraryManager();
  return *manager;
}

}  // namespace orin
