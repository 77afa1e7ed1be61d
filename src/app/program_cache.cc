#include "app/program_cache.h"

#include <algorithm>

#include "util/memory_stream.h"

namespace orin {

namespace {
constexpr int64_t kSettledNs = 2000000000;
}  // namespace

Stream* BytesStreamOpener::OpenStream(std::string_view, uint32_t mode) {
  if ((mode & kOpenWrite) != 0) {
    error_ = "Access denied";
    return nullptr;
  }
  return new MemoryStream(*bytes_);
}

ProgramCache& ProgramCache::Shared() {
  static auto* cache = new ProgramCache();
  return *cache;
}

std::shared_ptr<const std::string> ProgramCache::Find(const std::string& path,
                                                      const FileIdentity& identity) {
  if (!identity.known()) return nullptr;
  std::lock_guard<std::mutex> hold(lock_);
  auto it = entries_.find(path);
  if (it == entries_.end() || !(it->second.identity == identity)) return nullptr;
  return it->second.bytes;
}

void ProgramCache::Store(const std::string& path, const FileIdentity& before,
                         const FileIdentity& after, int64_t now_ns,
                         std::shared_ptr<const std::string> bytes) {
  if (!before.known() || !(before == after) || bytes == nullptr ||
      static_cast<int64_t>(bytes->size()) != after.size ||
      now_ns - std::max(after.modified_ns, after.changed_ns) < kSettledNs || bytes->size() > kMaxBytes / 4) {
    return;
  }
  std::lock_guard<std::mutex> hold(lock_);
  auto it = entries_.find(path);
  if (it != entries_.end()) {
    bytes_ -= it->second.bytes->size();
    order_.erase(it->second.order);
    entries_.erase(it);
  }
  while (!order_.empty() && (entries_.size() >= kMaxEntries || bytes_ + bytes->size() > kMaxBytes)) {
    auto oldest = entries_.find(order_.front());
    bytes_ -= oldest->second.bytes->size();
    entries_.erase(oldest);
    order_.pop_front();
  }
  bytes_ += bytes->size();
  order_.push_back(path);
  entries_[path] = Entry{after, std::move(bytes), std::prev(order_.end())};
}

size_t ProgramCache::size() const {
  std::lock_guard<std::mutex> hold(lock_);
  return entries_.size();
}

void ProgramCache::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  entries_.clear();
  order_.clear();
  bytes_ = 0;
}

}  // namespace orin
