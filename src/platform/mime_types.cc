#include "platform/mime_types.h"

#include <fstream>

#include "util/ascii.h"

namespace orin {

namespace {

// Splits a line into blank-separated words and calls f on each.
template <typename F>
void ForEachWord(std::string_view line, F&& f) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSpace(line[i]))
      ++i;
    size_t start = i;
    while (i < line.size() && !IsSpace(line[i]))
      ++i;
    if (i > start) f(line.substr(start, i - start));
  }
}

struct BuiltIn {
  const char* extension;
  const char* type;
};

// Enough for a typical site when the system table is missing.
constexpr BuiltIn kBuiltIn[] = {
    {"html", "text/html"},        {"htm", "text/html"},
    {"css", "text/css"},          {"js", "text/javascript"},
    {"mjs", "text/javascript"},   {"json", "application/json"},
    {"txt", "text/plain"},        {"csv", "text/csv"},
    {"xml", "application/xml"},   {"svg", "image/svg+xml"},
    {"png", "image/png"},         {"gif", "image/gif"},
    {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},
    {"webp", "image/webp"},       {"ico", "image/vnd.microsoft.icon"},
    {"bmp", "image/bmp"},         {"pdf", "application/pdf"},
    {"zip", "application/zip"},   {"gz", "application/gzip"},
    {"wasm", "application/wasm"}, {"woff", "font/woff"},
    {"woff2", "font/woff2"},      {"ttf", "font/ttf"},
    {"mp3", "audio/mpeg"},        {"wav", "audio/x-wav"},
    {"mp4", "video/mp4"},         {"webm", "video/webm"},
};

}  // namespace

void MimeTypes::Add(std::string_view extension, std::string_view type) {
  if (types_.Find(extension) == nullptr) types_.Set(extension, ByteString(type));
}

bool MimeTypes::LoadFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    std::string_view rest(line);
    rest = rest.substr(0, rest.find('#'));
    std::string_view type;
    ForEachWord(rest, [&](std::string_view word) {
      if (type.empty()) {
        type = word;
      } else {
        Add(word, type);
      }
    });
  }
  return true;
}

void MimeTypes::LoadBuiltIn() {
  for (const BuiltIn& b : kBuiltIn)
    Add(b.extension, b.type);
}

std::string_view MimeTypes::Find(std::string_view extension) const {
  const ByteString* type = types_.Find(extension);
  return type ? type->view() : std::string_view();
}

const MimeTypes& MimeTypes::System() {
  // Never destroyed: connection threads may still look types up while the
  // process exits.
  static const MimeTypes* table = [] {
    auto* t = new MimeTypes();
    if (!t->LoadFile(kSystemFile) || t->size() == 0) t->LoadBuiltIn();
    return t;
  }();
  return *table;
}

}  // namespace orin
