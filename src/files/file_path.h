// FilePath: a path split into components and normalised.
//
// Components are the pieces between runs of '/' or '\' (scripts written for
// other systems use either); a trailing separator adds none. A path is
// absolute when it starts with a separator. Normalising drops "." and lets
// ".." remove the previous kept component unless that is itself ".."; in an
// absolute path a ".." at the top is dropped, so a path never climbs above
// its root. Canonical text joins the kept components with '/'.
#ifndef ORIN_FILES_FILE_PATH_H_
#define ORIN_FILES_FILE_PATH_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

class FilePath {
 public:
  FilePath() = default;
  explicit FilePath(std::string_view text) { Parse(text); }

  void Parse(std::string_view text);

  bool absolute() const { return absolute_; }
  const std::string& text() const { return text_; }
  // All components as written, and the ones normalising kept.
  size_t ComponentCount() const { return pieces_.size(); }
  std::string_view Component(size_t i) const;
  size_t NormalisedCount() const { return kept_.size(); }
  std::string_view Normalised(size_t i) const { return Component(kept_[i]); }
  // The final kept component, or empty when there is none or it is "..".
  std::string_view LastComponent() const;

  // "/a/b" for an absolute path (just "/" with no components), "a/b" for a
  // relative one.
  std::string Canonical() const;
  // The kept components from `first` on, joined with '/'.
  std::string JoinFrom(size_t first) const;
  // True when the kept components begin with all of `root`'s, compared byte
  // for byte: letter case matters on this system's file systems.
  bool StartsWith(const FilePath& root) const;

 private:
  struct Piece {
    uint32_t offset;
    uint32_t length;
  };

  std::string text_;
  bool absolute_ = false;
  std::vector<Piece> pieces_;
  std::vector<uint32_t> kept_;
};

}  // namespace orin

#endif  // ORIN_FILES_FILE_PATH_H_
