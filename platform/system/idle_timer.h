// One 20 ms timer thread per process that ticks every registered plug-in instance.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

/// A client's place on the shared timer. While it lives, `tick` runs every 20 ms on the timer
/// thread; destroying it returns only after any tick of this client has finished, and no tick
/// of it starts afterwards.
class IdleTimerClient {
 public:
  /// Registers `tick`; the thread starts with the first client and ends with the last, so no
  /// code of this library runs once every client is gone. Any thread but the timer's own;
  /// allocates.
  explicit IdleTimerClient(std::function<void()> tick);
  ~IdleTimerClient();
  IdleTimerClient(const IdleTimerClient&) = delete;
  IdleTimerClient& operator=(const IdleTimerClient&) = delete;

  /// Stops (false) or resumes (true) this client's ticks, for a client whose idle work moves to
  /// another thread for a while. Returns after any running tick of this client has finished.
  void setTicking(bool ticking);

 private:
  uint64_t id_;
};

/// Threads running the shared timer in this process (0 or 1); for tests.
int idleTimerThreads();

}  // namespace platform
