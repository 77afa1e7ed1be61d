// A shared library opened at run time (OpenSSL is bound this way, so that the
// server runs, without TLS, on a machine that lacks it).
#ifndef ORIN_PLATFORM_SHARED_OBJECT_H_
#define ORIN_PLATFORM_SHARED_OBJECT_H_

#include <string>

namespace orin {

class SharedObject {
 public:
  SharedObject() = default;
  ~SharedObject() { Close(); }
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  // Opens `name` (a file name searched the system's way, or a path); false
  // with error_text() set when it cannot be loaded.
  bool Open(const std::string& name);
  void Close();
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

#endif  // ORIN_PLATFORM_SHARED_OBJECT_H_
