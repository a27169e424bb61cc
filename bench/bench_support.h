// What the benchmark programs share: a scratch folder of the run, CPU time from
// getrusage, a run in a child process (for its own peak resident size), a File
// over a scratch file, and the structure row of DBCREATE.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

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
