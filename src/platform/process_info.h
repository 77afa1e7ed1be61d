// Who this process and thread are, and whether another process still runs:
// the identities that lock files record.
#ifndef ORIN_PLATFORM_PROCESS_INFO_H_
#define ORIN_PLATFORM_PROCESS_INFO_H_

#include <cstdint>
#include <string>

namespace orin {

uint32_t CurrentProcessId();
// The kernel's id of the calling thread, unique among the live threads of
// the machine.
uint32_t CurrentThreadId();
// False only when no process with this id exists; one that runs under
// another user still counts. Ids no process can have (0, above the largest
// signed value) are reported as gone.
bool ProcessExists(uint32_t pid);
// The machine's host name, or "localhost" when it has none.
std::string HostName();
// The name of the user the process runs as, or its numeric id when the
// user database has no entry for it.
std::string CurrentUserName();

}  // namespace orin

#endif  // ORIN_PLATFORM_PROCESS_INFO_H_
