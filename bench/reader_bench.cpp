// Reading speed: a whole replay from memory against memcpy of its bytes, and
// from the page cache against reading the bytes alone; the metadata read's
// time and the bytes it reads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "replay/metadata.h"

namespace {

const char* const kLargest = MYZOR_SAMPLES "/glacier_pass_8p.rec";

std::vector<std::uint8_t> fileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The largest sample parsed from memory, against memcpy of its bytes.
void BM_FromMemory(benchmark::State& state, bool parse) {
  const auto bytes = fileBytes(kLargest);
  std::vector<std::uint8_t> copy(bytes.size());
  for (auto _ : state) {
    if (parse) {
      auto replay = zor_rep_reader::ReadReplayBytes(bytes, "bench", {});
      benchmark::DoNotOptimize(replay);
    } else {
      std::memcpy(copy.data(), bytes.data(), bytes.size());
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK_CAPTURE(BM_FromMemory, parse, true)->Name("LargestSample/parse_from_memory");
BENCHMARK_CAPTURE(BM_FromMemory, memcpy, false)->Name("LargestSample/memcpy");

void BM_ReadReplayFile(benchmark::State& state) {
  for (auto _ : state) {
    auto replay = zor_rep_reader::ReadReplay(kLargest, {});
    benchmark::DoNotOptimize(replay);
  }
}
BENCHMARK(BM_ReadReplayFile)->Name("LargestSample/ReadReplay_page_cache");

// The yardstick: open, size and read the file into a fresh buffer, the way
// the reader does before it parses.
void BM_ReadFileBytes(benchmark::State& state) {
  for (auto _ : state) {
    const int fd = ::open(kLargest, O_RDONLY | O_CLOEXEC);
    struct stat info {};
    ::fstat(fd, &info);
    auto buffer =
        std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(info.st_size));
    const ssize_t got = ::read(fd, buffer.get(), static_cast<std::size_t>(info.st_size));
    ::close(fd);
    benchmark::DoNotOptimize(got);
    benchmark::DoNotOptimize(buffer.get());
  }
}
BENCHMARK(BM_ReadFileBytes)->Name("LargestSample/read_bytes_only");

// The bytes this process has read so far, as the kernel counts them.
double bytesReadByProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  double value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

void BM_ReadMetadataFile(benchmark::State& state) {
  // Reading /proc/self/io counts too: take that out.
  const double first = bytesReadByProcess();
  const double before = bytesReadByProcess();
  (void)zor_rep_reader::ReadReplayMetadata(kLargest, {});
  const double read = bytesReadByProcess() - before - (before - first);
  for (auto _ : state) {
    auto metadata = zor_rep_reader::ReadReplayMetadata(kLargest, {});
    benchmark::DoNotOptimize(metadata);
  }
  state.counters["bytes_read"] = read;
  state.counters["file_bytes"] = static_cast<double>(fileBytes(kLargest).size());
}
BENCHMARK(BM_ReadMetadataFile)->Name("MetadataRead/largest_sample_page_cache");

}  // namespace
