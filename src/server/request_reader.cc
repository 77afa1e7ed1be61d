#include "server/request_reader.h"

#include <cstring>

namespace orin {

int32_t RequestReader::Fill() {
  position_ = 0;
  int32_t n = source_->Receive(buffer_, kBufferSize);
  // A source that claims more than it was given is not believed.
  filled_ = (n > 0 && n <= kBufferSize) ? n : 0;
  return n > kBufferSize ? -1 : n;
}

RequestReader::LineStatus RequestReader::ReadLine(ByteString* line) {
  line->Clear();
  bool any = false;
  for (;;) {
    if (position_ >= filled_ && Fill() <= 0) {
      return any ? LineStatus::kLine : LineStatus::kEnd;
    }
    const char* start = buffer_ + position_;
    size_t available = static_cast<size_t>(filled_ - position_);
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
    size_t take = lf ? static_cast<size_t>(lf - start) + 1 : available;
    if (take > line_budget_ - line_bytes_) {
      line_bytes_ = line_budget_;
      return LineStatus::kTooLong;
    }
    if (line->empty()) line->Reserve(lf ? take : size_t{kBufferSize});
    line->Append(start, lf ? take - 1 : take);
    line_bytes_ += take;
    position_ += static_cast<int32_t>(take);
    any = true;
    if (lf) {
      if (!line->empty() && (*line)[line->size() - 1] == '\r') line->SetSize(line->size() - 1);
      return LineStatus::kLine;
    }
  }
}

int32_t RequestReader::Read(char* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    if (position_ >= filled_ && count - done >= kBufferSize) {
      // Large reads skip the receive buffer.
      int32_t n = source_->Receive(buffer + done, count - done);
      if (n < 0 && done == 0) return -1;
      if (n <= 0 || n > count - done) break;
      done += n;
      continue;
    }
    if (position_ >= filled_) {
      int32_t n = Fill();
      if (n < 0 && done == 0) return -1;
      if (n <= 0) break;
    }
    int32_t take = filled_ - position_;
    if (take > count - done) take = count - done;
    std::memcpy(buffer + done, buffer_ + position_, static_cast<size_t>(take));
    position_ += take;
    done += take;
  }
  return done;
}

int32_t RequestReader::ReadSome(char* buffer, int32_t count, int64_t deadline_ms) {
  if (count <= 0) return 0;
  if (position_ < filled_) {
    int32_t take = filled_ - position_;
    if (take > count) take = count;
    std::memcpy(buffer, buffer_ + position_, static_cast<size_t>(take));
    position_ += take;
    return take;
  }
  int32_t n = source_->ReceiveBefore(buffer, count, deadline_ms);
  return n > count ? -1 : n;  // a source that claims more than it was given is not believed
}

}  // namespace orin
