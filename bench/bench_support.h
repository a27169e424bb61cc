// What the benchmark programs share: a scratch folder of the run, CPU time from
// getrusage, a run in a child process (for its own peak resident size), the
// comparison of such runs with a plain-I/O baseline, a File over a scratch file,
// and the structure row of DBCREATE.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "rdd/file_system.h"
#include "services/value.h"

namespace talvor::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The scratch folder of this run under $TMPDIR (else /tmp), removed when the
// program ends (children leave with _exit and remove nothing).
inline const fs::path& scratchFolder(const char* prefix) {
  struct Folder {
    fs::path path;
    explicit Folder(const char* name) {
      const char* tmp = std::getenv("TMPDIR");
      path = fs::path(tmp && *tmp ? tmp : "/tmp") / (std::string(name) + std::to_string(::getpid()));
      fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
  };
  static const Folder folder(prefix);
  return folder.path;
}

inline double cpuSeconds(const struct rusage& u) {
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double selfCpuSeconds() {
  struct rusage u {};
  ::getrusage(RUSAGE_SELF, &u);
  return cpuSeconds(u);
}

struct ChildRun {
  double seconds = 0;
  double cpu = 0;
  double peakMiB = 0;
  bool ok = false;
};

// Runs `work` in a child process: wall and CPU time, peak resident size, and
// whether it returned true.
template <typename F>
ChildRun inChild(F work) {
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(work() ? 0 : 1);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  ChildRun run;
  run.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  run.cpu = cpuSeconds(usage);
  run.peakMiB = double(usage.ru_maxrss) / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// Runs in a child compared with a plain-I/O baseline timed in this process after
// each: reports <name>_s, baseline_s, ratio (wall), cpu_ratio, peak_MiB, a
// throughput <rateName> in MB/s of `bytes`, and `items` per iteration.
class AgainstBaseline {
 public:
  // Adds a run (its time is the iteration's) and times `baseline` after it.
  template <typename F>
  void add(benchmark::State& state, const ChildRun& run, F baseline) {
    const auto t0 = Clock::now();
    const double c0 = selfCpuSeconds();
    baseline();
    base_ += std::chrono::duration<double>(Clock::now() - t0).count();
    baseCpu_ += selfCpuSeconds() - c0;
    cpu_ += run.cpu;
    state.SetIterationTime(run.seconds);
    wall_ += run.seconds;
    peak_ = std::max(peak_, run.peakMiB);
  }
  void report(benchmark::State& state, const std::string& name, const char* rateName, uint64_t bytes,
              int64_t items) const {
    const double n = double(state.iterations());
    state.counters[name + "_s"] = wall_ / n;
    state.counters["baseline_s"] = base_ / n;
    state.counters["ratio"] = wall_ / base_;
    state.counters[rateName] = double(bytes) / 1e6 / (wall_ / n);
    state.counters["peak_MiB"] = peak_;
    state.counters["cpu_ratio"] = cpu_ / baseCpu_;  // steadier than wall time on a busy machine
    state.SetItemsProcessed(int64_t(state.iterations()) * items);
  }

 private:
  double wall_ = 0, base_ = 0, peak_ = 0, cpu_ = 0, baseCpu_ = 0;
};

// A File over a new scratch file, removed when the object goes.
class ScratchFile : public File {
 public:
  explicit ScratchFile(std::string name) : name_(std::move(name)) {
    fd_ = ::open(name_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  }
  ~ScratchFile() override {
    ::close(fd_);
    ::unlink(name_.c_str());
  }
  int64_t readAt(uint64_t offset, void* buf, std::size_t n) override { return ::pread(fd_, buf, n, off_t(offset)); }
  int64_t writeAt(uint64_t offset, const void* buf, std::size_t n) override {
    return ::pwrite(fd_, buf, n, off_t(offset));
  }
  bool truncate(uint64_t size) override { return ::ftruncate(fd_, off_t(size)) == 0; }
  int64_t size() override { return ::lseek(fd_, 0, SEEK_END); }
  bool lock(const LockRequest&) override { return true; }
  bool commit() override { return true; }
  bool close() override { return true; }

 private:
  std::string name_;
  int fd_ = -1;
};

// One row of a table structure for DBCREATE.
inline Value fieldRow(const char* name, const char* type, int len, int dec = 0) {
  return Value::array({Value::text(name), Value::text(type), Value::integer(len), Value::integer(dec)});
}

}  // namespace talvor::bench
