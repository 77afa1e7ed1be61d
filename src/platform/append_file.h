// Appending to a file shared with other threads and processes.
#ifndef ORIN_PLATFORM_APPEND_FILE_H_
#define ORIN_PLATFORM_APPEND_FILE_H_

#include <string>
#include <string_view>

namespace orin {

// Opens `path` for appending (creating it), writes `bytes` and closes it.
// The bytes go out in one append-mode write, so lines written this way by
// several writers at once never interleave. False when the file cannot be
// opened or the write fails; *error (when given) gets the reason.
bool AppendToFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);

}  // namespace orin

#endif  // ORIN_PLATFORM_APPEND_FILE_H_
