#include "server/head_collector.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/socket.h"

namespace orin {

bool HeadComplete(std::string_view bytes) {
  // The empty line that ends the head is an LF followed by LF or CR LF.
  for (size_t at = bytes.find('\n'); at != std::string_view::npos;
       at = bytes.find('\n', at + 1)) {
    if (at + 1 < bytes.size() && bytes[at + 1] == '\n') return true;
    if (at + 2 < bytes.size() && bytes[at + 1] == '\r' && bytes[at + 2] == '\n') return true;
  }
  return false;
}

void ConnectionQueue::Push(AcceptedConnection connection) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    waiting_.push_back(std::move(connection));
  }
  ready_.Set();
}

bool ConnectionQueue::Pop(AcceptedConnection* connection) {
  std::lock_guard<std::mutex> hold(lock_);
  if (waiting_.empty()) return false;
  *connection = std::move(waiting_.front());
  waiting_.pop_front();
  if (!waiting_.empty()) ready_.Set();
  return true;
}

size_t ConnectionQueue::size() const {
  std::lock_guard<std::mutex> hold(lock_);
  return waiting_.size();
}

void ConnectionQueue::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  waiting_.clear();
}

HeadCollector::HeadCollector(ThreadManager* manager, ConnectionQueue* queue)
    : TaskThread(manager), queue_(queue) {}

bool HeadCollector::Add(AcceptedConnection connection, int64_t deadline_ms, int idle_ms) {
  if (count_.fetch_add(1) >= kMaxConnections) {
    count_.fetch_sub(1);
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    incoming_.push_back(
        {std::move(connection), deadline_ms, idle_ms, MonotonicMillis() + idle_ms});
  }
  wake_.Set();
  return true;
}

bool HeadCollector::ReadSome(Waiting& w) {
  std::string& bytes = w.connection.received;
  char block[8192];
  int32_t n = w.connection.socket.ReceiveNow(block, sizeof block);
  if (n == -2) return false;  // woken for nothing
  if (n > 0) {
    w.idle_deadline_ms = MonotonicMillis() + w.idle_ms;
    size_t searched = bytes.size() > 2 ? bytes.size() - 2 : 0;  // an end may straddle
    bytes.append(block, static_cast<size_t>(n));
    bool done = HeadComplete(std::string_view(bytes).substr(searched)) ||
                bytes.size() >= kMaxHeadBytes;
    if (!done) return false;
  }
  // Complete, too large, or closed after some bytes: the parser makes of it
  // what the request line and headers say. Closed or failed before any
  // byte: nothing to answer.
  if (!bytes.empty() && n >= 0) queue_->Push(std::move(w.connection));
  return true;
}

void HeadCollector::HandOverIdle(Waiting& w) {
  if (w.connection.received.empty()) return;  // closed without a word
  w.connection.input_ended = true;
  queue_->Push(std::move(w.connection));
}

void HeadCollector::Main() {
  std::vector<Waiting> active;
  std::vector<int> fds;
  std::vector<uint8_t> ready;
  for (;;) {
    int64_t next = -1;
    fds.assign({stop_event().fd(), wake_.fd()});
    for (const Waiting& w : active) {
      fds.push_back(w.connection.socket.fd());
      int64_t due = w.idle_deadline_ms;
      if (w.deadline_ms != 0 && w.deadline_ms < due) due = w.deadline_ms;
      if (next < 0 || due < next) next = due;
    }
    int64_t now = MonotonicMillis();
    int timeout = next < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, next - now));
    ready.assign(fds.size(), 0);
    if (PollReadable(fds.data(), ready.data(), fds.size(), timeout) < 0) {
      stop_event().Wait(100);  // poll itself failed (out of memory): try again shortly
    }
    if (stop_event().IsSet()) return;  // the waiting connections close with `active`
    now = MonotonicMillis();
    size_t finished = 0;
    for (size_t i = 0; i < active.size(); ++i) {
      Waiting& w = active[i];
      w.done = ready[i + 2] && ReadSome(w);
      if (!w.done && w.deadline_ms != 0 && now >= w.deadline_ms) {
        w.done = true;  // too slow overall: closed without an answer
      } else if (!w.done && now >= w.idle_deadline_ms) {
        HandOverIdle(w);
        w.done = true;
      }
      if (w.done) {
        w.connection.socket.Close();
        ++finished;
      }
    }
    if (finished > 0) {
      std::erase_if(active, [](const Waiting& w) { return w.done; });
      count_.fetch_sub(finished);
    }
    if (ready[1] && wake_.Consume()) {
      std::lock_guard<std::mutex> hold(lock_);
      for (Waiting& w : incoming_)
        active.push_back(std::move(w));
      incoming_.clear();
    }
  }
}

}  // namespace orin
