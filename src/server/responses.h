// The responses the server writes itself: the canned error pages and the
// head of a static file. Byte for byte what clients have always received,
// so do not reformat.
#ifndef ORIN_SERVER_RESPONSES_H_
#define ORIN_SERVER_RESPONSES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace orin {

inline constexpr std::string_view kServerSoftware = "Zeto Orin/Zeto Virtual Machine";
inline constexpr std::string_view kUriTooLong = "Requested URI too long or invalid";
inline constexpr std::string_view kHeadersTooLarge = "Request header fields too large";

// Paths of this many bytes or more are refused with kUriTooLong.
inline constexpr size_t kMaxPathLength = 259;

// 400 page; `reason` completes "Your browser sent an invalid HTTP request: ".
std::string BadRequestResponse(std::string_view reason);
// 404 page naming the request path as received.
std::string NotFoundResponse(std::string_view path);
// 500 page with a one-line explanation.
std::string ServerErrorResponse(std::string_view message);
// Status line and headers of a static file, blank line included.
std::string StaticFileHead(std::string_view content_type, uint64_t length);

}  // namespace orin

#endif  // ORIN_SERVER_RESPONSES_H_
