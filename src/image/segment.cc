#include "image/segment.h"

#include <cstring>
#include <new>

#include "image/byte_order.h"
#include "image/tagged_file.h"

namespace orin {

namespace {
constexpr uint32_t kSegs = SectionId("segs");
constexpr uint32_t kMaxPosition = 0x7FFFFFFF;
}  // namespace

Segment::Segment(int32_t number, uint32_t capacity)
    : number_(number), code_(capacity, 0), length_(0) {}

Segment::Segment(int32_t number, std::vector<uint8_t> code)
    : number_(number), code_(std::move(code)), length_(static_cast<uint32_t>(code_.size())) {}

uint8_t* Segment::Reserve(uint32_t pos, uint32_t count) {
  uint64_t end = static_cast<uint64_t>(pos) + count;
  if (end > kMaxPosition) return nullptr;
  if (end > code_.size()) code_.resize((end + kGrowth - 1) / kGrowth * kGrowth, 0);
  if (end > length_) length_ = static_cast<uint32_t>(end);
  return code_.data() + pos;
}

int32_t Segment::PutByte(uint32_t pos, uint8_t v) {
  return PutBytes(pos, &v, 1);
}

int32_t Segment::PutInt16(uint32_t pos, uint16_t v) {
  uint8_t b[2];
  PutLE16(b, v);
  return PutBytes(pos, b, 2);
}

int32_t Segment::PutInt32(uint32_t pos, uint32_t v) {
  uint8_t b[4];
  PutLE32(b, v);
  return PutBytes(pos, b, 4);
}

int32_t Segment::PutDouble(uint32_t pos, double v) {
  uint8_t b[8];
  PutLE64(b, DoubleBits(v));
  return PutBytes(pos, b, 8);
}

int32_t Segment::PutBytes(uint32_t pos, const void* bytes, uint32_t count) {
  uint8_t* p = Reserve(pos, count);
  if (p == nullptr) return -1;
  if (count > 0) std::memcpy(p, bytes, count);
  return static_cast<int32_t>(pos + count);
}

int32_t Segment::GetByte(uint32_t pos, uint8_t* v) const {
  if (static_cast<uint64_t>(pos) + 1 > length_) return -1;
  *v = code_[pos];
  return static_cast<int32_t>(pos + 1);
}

int32_t Segment::GetInt16(uint32_t pos, uint16_t* v) const {
  if (static_cast<uint64_t>(pos) + 2 > length_) return -1;
  *v = GetLE16(code_.data() + pos);
  return static_cast<int32_t>(pos + 2);
}

int32_t Segment::GetInt32(uint32_t pos, uint32_t* v) const {
  if (static_cast<uint64_t>(pos) + 4 > length_) return -1;
  *v = GetLE32(code_.data() + pos);
  return static_cast<int32_t>(pos + 4);
}

int32_t Segment::GetDouble(uint32_t pos, double* v) const {
  if (static_cast<uint64_t>(pos) + 8 > length_) return -1;
  *v = GetLEDouble(code_.data() + pos);
  return static_cast<int32_t>(pos + 8);
}

SegmentManager::SegmentManager() {
  segments_.reserve(kArrayGrowth);
  segments_.resize(1);
}

SegmentManager::SegmentManager(const SegmentManager& other) : start_(other.start_) {
  segments_.reserve(other.segments_.capacity());
  for (const auto& s : other.segments_) {
    segments_.push_back(s ? std::make_unique<Segment>(*s) : nullptr);
  }
}

void SegmentManager::Grow() {
  if (segments_.size() == segments_.capacity()) segments_.reserve(segments_.size() + kArrayGrowth);
}

bool SegmentManager::Load(TaggedFile& file) {
  uint8_t h[8];
  if (file.ReadAt(kSegs, 0, h, sizeof h) != static_cast<int32_t>(sizeof h)) {
    error_ = file.GetError();
    return false;
  }
  uint32_t entries = GetLE32(h);
  auto start = static_cast<int32_t>(GetLE32(h + 4));
  if (start < 0 || static_cast<int64_t>(start) > static_cast<int64_t>(entries) - 1) {
    error_ = "segment_list.start out of range";
    return false;
  }
  if (entries > kMaxEntries) {
    error_ = "segment_list.entries out of range";
    return false;
  }
  std::vector<uint8_t> table;
  if (!ReadExactlyAt(file, kSegs, 8, 8 * entries, &table, &error_)) return false;
  int64_t code_base = 8 + 8 * static_cast<int64_t>(entries);
  std::vector<std::unique_ptr<Segment>> loaded;
  loaded.reserve(entries);
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t offset = GetLE32(table.data() + 8 * i);
    uint32_t size = GetLE32(table.data() + 8 * i + 4);
    if (size > kMaxPosition) {
      error_ = "segment_header.size out of range";
      return false;
    }
    std::vector<uint8_t> code;
    try {
      if (!ReadExactlyAt(file, kSegs, code_base + offset, size, &code, &error_)) return false;
    } catch (const std::bad_alloc&) {
      error_ = "Allocation failed";
      return false;
    }
    loaded.push_back(std::make_unique<Segment>(static_cast<int32_t>(i), std::move(code)));
  }
  segments_ = std::move(loaded);
  start_ = start;
  error_.clear();
  return true;
}

Segment* SegmentManager::StartSegment() {
  if (start_ < 0 || static_cast<uint32_t>(start_) >= segments_.size()) return nullptr;
  if (!segments_[start_]) segments_[start_] = std::make_unique<Segment>(start_, Segment::kGrowth);
  return segments_[start_].get();
}

Segment* SegmentManager::AddSegment() {
  Grow();
  auto number = static_cast<int32_t>(segments_.size());
  segments_.push_back(std::make_unique<Segment>(number, Segment::kGrowth));
  return segments_.back().get();
}

Segment* SegmentManager::SetSegment(uint32_t number, std::unique_ptr<Segment> segment) {
  while (segments_.size() <= number) {
    Grow();
    segments_.emplace_back();
  }
  segments_[number] = std::move(segment);
  return segments_[number].get();
}

void SegmentManager::AppendSection(std::string* out) const {
  ByteWriter w(out);
  w.U32(Count());
  w.U32(static_cast<uint32_t>(start_));
  uint32_t offset = 0;
  for (const auto& s : segments_) {
    uint32_t n = s ? s->length() : 0;
    w.U32(offset);
    w.U32(n);
    offset += n;
  }
  for (const auto& s : segments_) {
    if (s && s->length() > 0) w.Bytes(s->code(), s->length());
  }
}

bool SegmentManager::Write(TaggedFile& file) const {
  std::string bytes;
  AppendSection(&bytes);
  return file.WriteSection(kSegs, bytes);
}

}  // namespace orin
