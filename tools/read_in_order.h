// Reading many files on several threads while writing the results in order.
#pragma once

#include <algorithm>
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
// A reader takes this many files at a time: with small cached files, taking
// and handing back one at a time costs more in locks and wake-ups than the
// reading itself.
constexpr std::size_t kRun = 16;
// At most this many results wait to be written, whatever the number of files.
constexpr std::size_t kWaiting = kRun * kReaders * 2;

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
  std::condition_variable room;   // readers wait for room in `waiting`
  std::condition_variable ready;  // the writer waits for the next result
  std::vector<std::optional<Result>> waiting(kWaiting);
  std::size_t next = 0;     // the next index a reader takes
  std::size_t written = 0;  // the results taken by the writer so far
  std::vector<std::jthread> threads;
  for (int t = 0; t < readers; ++t) {
    threads.emplace_back([&] {
      std::vector<Result> results;
      results.reserve(kRun);
      std::unique_lock lock(mutex);
      while (true) {
        room.wait(lock, [&] { return next >= count || next + kRun <= written + kWaiting; });
        if (next >= count) return;
        const std::size_t first = next;
        const std::size_t end = std::min(count, first + kRun);
        next = end;
        lock.unlock();
        results.clear();
        for (std::size_t i = first; i < end; ++i) results.push_back(read(i));
        lock.lock();
        for (std::size_t i = first; i < end; ++i)
          waiting[i % kWaiting] = std::move(results[i - first]);
        if (first <= written) ready.notify_one();
      }
    });
  }
  std::vector<Result> taken;
  while (written < count) {
    {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return waiting[written % kWaiting].has_value(); });
      // Everything ready in order is taken at once.
      taken.clear();
      while (written < count && waiting[written % kWaiting].has_value()) {
        taken.push_back(std::move(*waiting[written % kWaiting]));
        waiting[written % kWaiting].reset();
        ++written;
      }
    }
    room.notify_all();
    for (const Result& result : taken) write(result);
  }
}

}  // namespace myzor_info
