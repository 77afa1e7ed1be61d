// Dynamic libraries: dlopen, dlsym and dlerror behind three calls, the
// directory of the running program (where shipped plug-ins are looked for),
// and SharedObject for libraries bound for the whole process.
#ifndef ORIN_PLATFORM_DYNAMIC_LIBRARY_H_
#define ORIN_PLATFORM_DYNAMIC_LIBRARY_H_

#include <string>

namespace orin {

// Loads the library at `path` (its own symbols stay local, its undefined
// symbols bind to the program's exports); null with *error on failure.
void* OpenDynamicLibrary(const std::string& path, std::string* error);
// The running program itself: its exported symbols are the plug-in
// interface.
void* HostModuleHandle();
// The address of `name` in `handle`, or null with *error.
void* DynamicSymbol(void* handle, const std::string& name, std::string* error);
void CloseDynamicLibrary(void* handle);
// The directory that holds the running executable, "" when unknown.
std::string ExecutableDirectory();

// A library opened by name and kept mapped for the life of the process
// (OpenSSL is bound this way, so that the server runs, without TLS, on a
// machine that lacks it; its thread-local state and exit handlers must not
// outlive their code, so Close only forgets the handle).
class SharedObject {
 public:
  SharedObject() = default;
  ~SharedObject() { Close(); }
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  // Opens `name` (a file name searched the system's way, or a path); false
  // with error_text() set when it cannot be loaded.
  bool Open(const std::string& name);
  void Close() { handle_ = nullptr; }
  bool is_open() const { return handle_ != nullptr; }
  const std::string& name() const { return name_; }
  // The address of an exported symbol, or null.
  void* Symbol(const char* symbol) const;
  const std::string& error_text() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string name_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_PLATFORM_DYNAMIC_LIBRARY_H_
