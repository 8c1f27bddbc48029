// Lock-free single-producer single-consumer ring of parameter changes, host to editor.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace plugkit {

struct ParamChange {
  int index = 0;
  double value = 0.0;  // real units
};

/// One slot stays free to tell full from empty, so a 512-entry ring holds 511 changes.
template <size_t Capacity = 512>
class ParamChangeQueue {
 public:
  /// Producer side. Never blocks or allocates; returns false (change dropped) when full.
  bool push(const ParamChange& change) noexcept {
    const size_t write = write_.load(std::memory_order_relaxed);
    const size_t next = (write + 1) % Capacity;
    if (next == read_.load(std::memory_order_acquire)) return false;
    slots_[write] = change;
    write_.store(next, std::memory_order_release);
    return true;
  }

  /// Consumer side. Returns false when empty.
  bool pop(ParamChange& change) noexcept {
    const size_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) return false;
    change = slots_[read];
    read_.store((read + 1) % Capacity, std::memory_order_release);
    return true;
  }

  size_t size() const noexcept {
    const size_t write = write_.load(std::memory_order_acquire);
    const size_t read = read_.load(std::memory_order_acquire);
    return (write + Capacity - read) % Capacity;
  }

  static constexpr size_t capacity() { return Capacity - 1; }

 private:
  std::array<ParamChange, Capacity> slots_{};
  alignas(64) std::atomic<size_t> write_{0};
  alignas(64) std::atomic<size_t> read_{0};
};

}  // namespace plugkit
