// Waiting for request heads without holding a connection thread.
//
// A connection thread that accepts a connection reads what has arrived; an
// ordinary client has sent its whole request head by then (the listening
// socket hands connections over only once bytes arrived). When the head is
// not complete the thread gives the connection to the HeadCollector and
// goes back to serving: one thread waits for all such clients at once, so
// clients that send their head slowly (or never) cannot occupy the five
// connection threads. A head that completes goes into the server's
// ConnectionQueue, where the next free connection thread takes it. A
// client that sends nothing for the connection's wait (30 seconds) is
// treated as a receive that ran out: what it sent is parsed as it is, and
// nothing at all means no answer. A client whose whole head has not arrived
// by the head deadline (`headertimeout`) is disconnected without an answer,
// however steadily it trickles.
//
//   accept -> head complete? -- yes --> served on the accepting thread
//                  | no
//                  v
//            HeadCollector -- complete, closed, too large, idle --> ConnectionQueue
//                  | head deadline passed                                |
//                  v                                                 v
//               closed                                  any connection thread
#ifndef ORIN_SERVER_HEAD_COLLECTOR_H_
#define ORIN_SERVER_HEAD_COLLECTOR_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/event.h"
#include "server/client_connection.h"
#include "server/thread.h"

namespace orin {

// True when `bytes` hold a whole request head: the request line and the
// header lines up to the first empty line (LF, or CR LF).
bool HeadComplete(std::string_view bytes);

// Connections whose head is complete, waiting for a connection thread.
class ConnectionQueue {
 public:
  void Push(AcceptedConnection connection);
  // Takes the oldest; false when there is none.
  bool Pop(AcceptedConnection* connection);
  // Readable while connections wait (an auto-reset event: the waiter that
  // consumes it pops; Pop sets it again for the others while any remain).
  Event& ready() { return ready_; }
  size_t size() const;
  void Clear();

 private:
  mutable std::mutex lock_;
  std::deque<AcceptedConnection> waiting_;  // guarded by lock_
  Event ready_{Event::kAutoReset};
};

class HeadCollector : public TaskThread {
 public:
  // At most this many heads are awaited at once; more are refused.
  static constexpr size_t kMaxConnections = 256;
  // A head larger than this is passed on as it is, for the request parser
  // to refuse.
  static constexpr size_t kMaxHeadBytes = (size_t{1} << 20) + 8192;

  HeadCollector(ThreadManager* manager, ConnectionQueue* queue);

  // Takes a connection whose head has not fully arrived; `deadline_ms` (on
  // the monotonic clock, 0: none) is when it is given up, `idle_ms` how long
  // the client may send nothing. False when full: the caller closes it.
  bool Add(AcceptedConnection connection, int64_t deadline_ms, int idle_ms);
  // Connections being waited for (including those not yet picked up).
  size_t waiting() const { return count_.load(); }

 protected:
  void Main() override;

 private:
  struct Waiting {
    AcceptedConnection connection;
    int64_t deadline_ms;
    int idle_ms;
    int64_t idle_deadline_ms;  // the last bytes' time + idle_ms
    bool done = false;
  };
  // The client sent nothing for its wait: what came is parsed as it is.
  void HandOverIdle(Waiting& w);
  // Reads what arrived; true when the connection is done with here (handed
  // on or closed).
  bool ReadSome(Waiting& w);

  ConnectionQueue* queue_;
  std::mutex lock_;
  std::vector<Waiting> incoming_;  // guarded by lock_
  Event wake_{Event::kAutoReset};
  std::atomic<size_t> count_{0};
};

}  // namespace orin

#endif  // ORIN_SERVER_HEAD_COLLECTOR_H_
