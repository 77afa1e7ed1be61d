// Functions the server itself offers scripts, as a builtin function library
// compiled into the executable: the table is added to every run's external
// call manager before any loaded library, so a script declares them as
// external functions (`.func orin_header(name, value) external`) and calls
// them like any other.
//
//   orin_header(name, value)  sets a response header ("Status" sets the
//                             status line); returns 1, or 0 once sent
//   orin_html(text)           text with & < > " ' as HTML entities
//   orin_json(&value)         the JSON text of a value (by reference)
//   orin_url(text)            text percent-encoded for a URL
#ifndef ORIN_APP_HOST_FUNCTIONS_H_
#define ORIN_APP_HOST_FUNCTIONS_H_

#include <string>
#include <string_view>

#include "vm/external_call.h"

namespace orin {

// The entry array, ended by a null name; valid for the whole process.
const ZetoFunctionEntry* HostFunctionTable();

// The encoding behind orin_url (orin_html's is util/html_encode.h).
std::string UrlEncode(std::string_view text);

}  // namespace orin

#endif  // ORIN_APP_HOST_FUNCTIONS_H_
