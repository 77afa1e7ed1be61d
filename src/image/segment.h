// Segment and SegmentManager: the code of a program ("segs" section).
//
// Section layout (little-endian; read by random access):
//   0   4         entries (at most 0xFFFFFFF)
//   4   4         start: the segment where the main program begins
//                 (0 <= start <= entries - 1)
//   8   8*entries per segment: offset (relative to the end of this table),
//                 size (at most 0x7FFFFFFF)
//   ..            code
//
// A segment's number is its position in the table. Code compiled at run
// time is added as new segments; its writer grows the buffer to multiples
// of kGrowth bytes. Put* may move the buffer, so callers that cache code()
// fetch it again after writing.
#ifndef ORIN_IMAGE_SEGMENT_H_
#define ORIN_IMAGE_SEGMENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orin {

class TaggedFile;

class Segment {
 public:
  static constexpr uint32_t kGrowth = 8192;
  static constexpr uint32_t kRestricted = 1;  // calls from here may not enter private functions

  // An empty segment with `capacity` zero bytes of room.
  Segment(int32_t number, uint32_t capacity);
  // A segment holding `code` exactly (capacity = length).
  Segment(int32_t number, std::vector<uint8_t> code);
  Segment(const Segment& other) = default;
  Segment& operator=(const Segment&) = delete;

  int32_t number() const { return number_; }
  const uint8_t* code() const { return code_.data(); }
  uint32_t length() const { return length_; }
  uint32_t capacity() const { return static_cast<uint32_t>(code_.size()); }
  uint32_t flags() const { return flags_; }
  void SetFlags(uint32_t flags) { flags_ = flags; }
  bool restricted() const { return (flags_ & kRestricted) != 0; }

  // Writing at a position, little-endian. The buffer grows to the next
  // multiple of kGrowth at or above the end of the write (zero-filled) and
  // the length becomes that end when it is larger. Returns the position after
  // the value, or -1 when the end would pass 0x7FFFFFFF.
  int32_t PutByte(uint32_t pos, uint8_t v);
  int32_t PutInt16(uint32_t pos, uint16_t v);
  int32_t PutInt32(uint32_t pos, uint32_t v);
  int32_t PutDouble(uint32_t pos, double v);
  int32_t PutBytes(uint32_t pos, const void* bytes, uint32_t count);

  // Reading at a position; returns the position after the value, or -1 when
  // the value would run past the length.
  int32_t GetByte(uint32_t pos, uint8_t* v) const;
  int32_t GetInt16(uint32_t pos, uint16_t* v) const;
  int32_t GetInt32(uint32_t pos, uint32_t* v) const;
  int32_t GetDouble(uint32_t pos, double* v) const;

 private:
  uint8_t* Reserve(uint32_t pos, uint32_t count);

  int32_t number_;
  std::vector<uint8_t> code_;  // size() is the capacity
  uint32_t length_;
  uint32_t flags_ = 0;
};

class SegmentManager {
 public:
  static constexpr uint32_t kMaxEntries = 0xFFFFFFF;
  static constexpr uint32_t kArrayGrowth = 64;

  // Empty: room for 64 segments, count 1 (slot 0 reserved for the start
  // segment, created on demand).
  SegmentManager();
  // Deep copy of every segment.
  SegmentManager(const SegmentManager& other);
  SegmentManager& operator=(const SegmentManager&) = delete;

  // Reads the "segs" section; on failure the previous segments stay.
  bool Load(TaggedFile& file);

  // Segment `number`, or null when out of range or not created.
  Segment* Get(int64_t number) const {
    if (number < 0 || number >= static_cast<int64_t>(segments_.size())) return nullptr;
    return segments_[number].get();
  }
  uint32_t Count() const { return static_cast<uint32_t>(segments_.size()); }
  int32_t start() const { return start_; }
  void SetStart(int32_t start) { start_ = start; }
  // The start segment, created empty (kGrowth zero bytes) when its slot is
  // empty; null when the start number is out of range.
  Segment* StartSegment();
  // Appends a new empty segment (kGrowth zero bytes) under the next number.
  Segment* AddSegment();
  // Puts a segment under `number`, growing the table with empty slots.
  Segment* SetSegment(uint32_t number, std::unique_ptr<Segment> segment);

  const std::string& ErrorText() const { return error_; }

  // The "segs" section: segments laid out in number order; an empty slot is
  // written as a segment of length 0.
  void AppendSection(std::string* out) const;
  bool Write(TaggedFile& file) const;

 private:
  void Grow();

  std::vector<std::unique_ptr<Segment>> segments_;
  int32_t start_ = 0;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_IMAGE_SEGMENT_H_
