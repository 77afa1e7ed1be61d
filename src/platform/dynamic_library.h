// Dynamic libraries: dlopen, dlsym and dlerror behind three calls, and the
// directory of the running program (where shipped plug-ins are looked for).
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

}  // namespace orin

#endif  // ORIN_PLATFORM_DYNAMIC_LIBRARY_H_
