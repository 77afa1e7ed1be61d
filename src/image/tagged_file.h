// TaggedFile: the container of a compiled script (.ztc), a file of named
// sections. All integers are little-endian.
//
//   Offset  Width  Field
//   0       4      magic, the bytes "Zeto"
//   4       4      version, 0x10001..0x1000D (the writer stamps 0x1000D)
//   8       16     producer data: two 64-bit words, kept and not interpreted
//   24      4      directory offset (signed, >= 0)
//   28      4      directory entries (signed, 0..0xAAAAAAA)
//   32      ...    section data, in any order
//   dir     12*n   directory: id (4 ASCII bytes in reading order, compared
//                  as a 32-bit value), offset (<= 0x7FFFFFFF), size
//                  (<= 0x7FFFFFFF); the first entry of an id wins
//
// The reading side validates the header and the directory and hands out
// bounds-checked reads of one section at a time; the writing side produces
// the same layout. Failures return false or -1 and leave the message in the
// object (GetError); the texts are the ones users and logs see.
#ifndef ORIN_IMAGE_TAGGED_FILE_H_
#define ORIN_IMAGE_TAGGED_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/stream.h"

namespace orin {

// The 32-bit identifier of a four-character section name.
constexpr uint32_t SectionId(const char (&name)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[3])) << 24);
}
// The four bytes of an identifier, for messages and listings.
std::string SectionName(uint32_t id);

constexpr uint32_t kFileVersionMin = 0x10001;
constexpr uint32_t kFileVersionMax = 0x1000D;
constexpr uint32_t kFileHeaderSize = 32;
constexpr int32_t kMaxDirectoryEntries = 0xAAAAAAA;

struct DirectoryEntry {
  uint32_t id;
  uint32_t offset;
  uint32_t size;
};

class TaggedFile {
 public:
  // `opener` opens files for Open, Create and Reopen; it may be null when
  // only Attach is used.
  explicit TaggedFile(StreamOpener* opener = nullptr) : opener_(opener) {}
  virtual ~TaggedFile();
  TaggedFile(const TaggedFile&) = delete;
  TaggedFile& operator=(const TaggedFile&) = delete;

  virtual const std::string& GetError() const { return error_; }
  virtual void SetError(std::string_view message) { error_.assign(message); }
  const std::string& ErrorText() const { return error_; }

  // Reading side.

  // Uses an already opened stream, which stays its owner's: the container
  // never closes it. Reads the header and the directory. On failure the name
  // becomes empty and the stream is forgotten.
  bool Attach(std::string_view name, Stream* stream);
  // Opens the named file through the opener, then does what Attach does;
  // the stream is the container's and Close hands it back to the opener.
  bool Open(std::string_view name, uint32_t mode = kOpenRead);
  // Opens the file again after Close, for readers that load sections late
  // (localized token indexes). True when a stream is already there.
  bool Reopen();
  bool IsOpen() const { return stream_ != nullptr; }

  bool HasSection(uint32_t id) const;
  // Makes a section current, seeks to its first byte and sets the read
  // position to 0.
  bool SelectSection(uint32_t id, uint32_t* size = nullptr);
  // Sequential read from the current section; fewer bytes than asked at the
  // end of the section (the message then says why), 0 exactly at the end.
  int32_t Read(void* buffer, int32_t count);
  // Random-access read from a section; selects it but leaves the sequential
  // read position alone.
  int32_t ReadAt(uint32_t id, int64_t offset, void* buffer, int32_t count);
  // Moves the read position inside the current section without reading; a
  // position past the end makes the next Read fail.
  bool SetPosition(uint32_t position);
  void ResetSection();
  uint32_t position() const { return position_; }
  // The size of the selected section, or 0 when none is selected.
  uint32_t SectionSize() const;

  // Hands an opened stream back to the opener and forgets an attached one.
  // Harmless without a stream.
  void Close();

  // Writing side.

  // Opens the file for writing through the opener (or uses `stream`, which
  // stays the caller's) and writes the header. `producer` may be null
  // (zeros); a version of 0 means kFileVersionMax.
  bool Create(std::string_view name, const uint64_t* producer = nullptr, uint32_t version = 0);
  bool Create(std::string_view name, Stream* stream, const uint64_t* producer = nullptr,
              uint32_t version = 0);
  // Starts a section at the current position, ending an open one first.
  void BeginSection(uint32_t id);
  int32_t Write(const void* bytes, int32_t count);
  void EndSection();
  // Writes the directory at the end and the final header at offset 0.
  bool Finish();
  // BeginSection, Write of all bytes, EndSection.
  bool WriteSection(uint32_t id, std::string_view bytes);

  // The header and directory as read or written.
  const std::string& name() const { return name_; }
  uint32_t magic() const { return magic_; }
  uint32_t version() const { return version_; }
  uint64_t producer(int i) const { return producer_[i]; }
  int32_t directory_offset() const { return directory_offset_; }
  const std::vector<DirectoryEntry>& directory() const { return directory_; }

 private:
  bool ReadHeader();
  bool ReadDirectory();
  bool Fail(std::string_view message);
  bool StreamFailed();
  const DirectoryEntry* FindSection(uint32_t id);
  bool WriteHeader();
  void Forget();
  bool BeginWriting(std::string_view name, const uint64_t* producer, uint32_t version);

  StreamOpener* opener_;
  Stream* stream_ = nullptr;
  bool owns_stream_ = false;
  std::string name_;
  std::string error_;

  uint32_t magic_ = 0;
  uint32_t version_ = 0;
  uint64_t producer_[2] = {0, 0};
  int32_t directory_offset_ = 0;
  int32_t directory_entries_ = 0;
  std::vector<DirectoryEntry> directory_;

  int32_t selected_ = -1;  // index into directory_
  uint32_t position_ = 0;
  bool stream_at_position_ = false;  // ReadAt moves the stream away

  bool writing_section_ = false;
  uint32_t write_id_ = 0;
  uint32_t write_start_ = 0;
  uint32_t write_count_ = 0;
  uint32_t file_position_ = kFileHeaderSize;
};

// Reads exactly `count` bytes from the current section into `out`, growing
// the buffer only as bytes arrive so that a hostile count costs no more
// memory than the file holds. On a short read the container's message is
// copied to `error`.
bool ReadExactly(TaggedFile& file, uint32_t count, std::vector<uint8_t>* out, std::string* error);
// The same for a random-access read of section `id` at `offset`.
bool ReadExactlyAt(TaggedFile& file, uint32_t id, int64_t offset, uint32_t count,
                   std::vector<uint8_t>* out, std::string* error);

}  // namespace orin

#endif  // ORIN_IMAGE_TAGGED_FILE_H_
