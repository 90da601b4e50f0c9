// Reading many files on several threads while writing the results in order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace myzor_info {

// Reads on `readers` threads when `read` mostly waits for the disk.
constexpr int kReaders = 16;
// At most this many results wait to be written, whatever the number of files.
constexpr std::size_t kWaiting = 64;

// Calls read(i) for every i below `count` on `readers` threads (on this one
// when 0) and hands each result to write() in order of i.
template <typename Result>
void ReadInOrder(std::size_t count, int readers, const std::function<Result(std::size_t)>& read,
                 const std::function<void(const Result&)>& write) {
  if (readers == 0) {
    for (std::size_t i = 0; i < count; ++i) write(read(i));
    return;
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<Result>> waiting(kWaiting);
  std::size_t next = 0;     // the next index a reader takes
  std::size_t written = 0;  // the results written so far
  std::vector<std::jthread> threads;
  for (int t = 0; t < readers; ++t) {
    threads.emplace_back([&] {
      std::unique_lock lock(mutex);
      while (true) {
        changed.wait(lock, [&] { return next >= count || next < written + kWaiting; });
        if (next >= count) return;
        const std::size_t i = next++;
        lock.unlock();
        Result result = read(i);
        lock.lock();
        waiting[i % kWaiting] = std::move(result);
        changed.notify_all();
      }
    });
  }
  while (written < count) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return waiting[written % kWaiting].has_value(); });
    const Result result = std::move(*waiting[written % kWaiting]);
    waiting[written % kWaiting].reset();
    ++written;
    changed.notify_all();
    lock.unlock();
    write(result);
  }
}

}  // namespace myzor_info
