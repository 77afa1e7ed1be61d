#include "files/file_path.h"

namespace orin {

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

void FilePath::Parse(std::string_view text) {
  text_.assign(text);
  pieces_.clear();
  kept_.clear();
  absolute_ = !text.empty() && IsSeparator(text[0]);
  size_t i = 0, n = text_.size();
  while (i < n) {
    while (i < n && IsSeparator(text_[i]))
      ++i;
    if (i == n) break;
    size_t start = i;
    while (i < n && !IsSeparator(text_[i]))
      ++i;
    pieces_.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(i - start)});
  }
  for (uint32_t k = 0; k < pieces_.size(); ++k) {
    std::string_view c = Component(k);
    if (c == ".") continue;
    if (c == "..") {
      if (!kept_.empty() && Component(kept_.back()) != "..") {
        kept_.pop_back();
        continue;
      }
      if (absolute_) continue;  // nothing above the top
    }
    kept_.push_back(k);
  }
}

std::string_view FilePath::Component(size_t i) const {
  return std::string_view(text_).substr(pieces_[i].offset, pieces_[i].length);
}

std::string_view FilePath::LastComponent() const {
  if (kept_.empty()) return {};
  std::string_view last = Component(kept_.back());
  return last == ".." ? std::string_view() : last;
}

std::string FilePath::Canonical() const {
  std::string rest = JoinFrom(0);
  if (!absolute_) return rest;
  return "/" + rest;
}

std::string FilePath::JoinFrom(size_t first) const {
  std::string out;
  for (size_t i = first; i < kept_.size(); ++i) {
    if (i > first) out += '/';
    out += Normalised(i);
  }
  return out;
}

bool FilePath::StartsWith(const FilePath& root) const {
  if (root.NormalisedCount() > NormalisedCount()) return false;
  for (size_t i = 0; i < root.NormalisedCount(); ++i) {
    if (Normalised(i) != root.Normalised(i)) return false;
  }
  return true;
}

}  // namespace orin
