// The shared idle timer: one thread, a registry of clients, ticks every 20 ms.
#include "platform/system/idle_timer.h"

#include <pthread.h>  // pthread_setname_np

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPeriod = std::chrono::milliseconds(20);

class Registry {
 public:
  uint64_t add(std::function<void()> tick) {
    std::unique_lock lock(mutex_);
    const uint64_t id = ++lastId_;
    clients_.push_back({id, std::move(tick), true});
    if (!thread_.joinable()) {
      const uint64_t generation = ++generation_;
      thread_ = std::thread([this, generation] { run(generation); });
      pthread_setname_np(thread_.native_handle(), "idle-timer");
    }
    return id;
  }

  void remove(uint64_t id) {
    std::unique_lock lock(mutex_);
    // Ticks run under the mutex, so once it is held no tick of this client is running.
    std::erase_if(clients_, [id](const Client& c) { return c.id == id; });
    if (!clients_.empty() || !thread_.joinable()) return;
    ++generation_;
    std::thread finished = std::move(thread_);
    lock.unlock();
    wake_.notify_all();
    finished.join();
  }

  void setTicking(uint64_t id, bool ticking) {
    std::lock_guard lock(mutex_);
    for (Client& c : clients_)
      if (c.id == id) c.ticking = ticking;
  }

  int threads() {
    std::lock_guard lock(mutex_);
    return thread_.joinable() ? 1 : 0;
  }

 private:
  struct Client {
    uint64_t id;
    std::function<void()> tick;
    bool ticking;
  };

  void run(uint64_t generation) {
    std::unique_lock lock(mutex_);
    auto next = Clock::now();
    for (;;) {
      next += kPeriod;
      if (wake_.wait_until(lock, next, [&] { return generation_ != generation; })) return;
      // A stalled thread does not get a burst of catch-up ticks.
      if (Clock::now() > next + 5 * kPeriod) next = Clock::now();
      for (Client& c : clients_) {
        if (!c.ticking) continue;
        try {
          c.tick();
        } catch (...) {
          // A failing tick must not end the timer of every other instance.
        }
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Client> clients_;
  uint64_t lastId_ = 0;
  uint64_t generation_ = 0;
  std::thread thread_;
};

// Never destroyed: a host that exits without removing its instances must not hit a joinable
// thread in a static destructor.
Registry& registry() {
  static Registry* instance = new Registry;
  return *instance;
}

}  // namespace

IdleTimerClient::IdleTimerClient(std::function<void()> tick) : id_(registry().add(std::move(tick))) {}

IdleTimerClient::~IdleTimerClient() { registry().remove(id_); }

void IdleTimerClient::setTicking(bool ticking) { registry().setTicking(id_, ticking); }

int idleTimerThreads() { return registry().threads(); }

}  // namespace platform
