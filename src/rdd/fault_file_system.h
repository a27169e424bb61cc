// A file system for tests that wraps another one and makes chosen calls fail:
// the Nth read or write short or failing with an OS error number, writes that
// would take a file beyond a size limit (a full disk), and failing opens and
// creations. Calls that no fault matches pass through unchanged.
//
// Install it with setFileSystem(&faults) and restore with setFileSystem(nullptr);
// files opened while it is installed keep reporting to it until they are closed,
// so it must outlive them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rdd/file_system.h"

namespace talvor {

enum class FileCall { Read, Write, Truncate, Commit, Lock, Open, Create };

struct Fault {
  FileCall call = FileCall::Read;
  // Only calls on files whose name ends with this text ("" = every file).
  std::string nameSuffix;
  // The Nth matching call from when the fault is added fails (1 = the next one).
  int nth = 1;
  // With `persistent`, that call and every matching call after it fail.
  bool persistent = false;
  // Reads and writes: transfer this many bytes (at most the request) and report
  // that count instead of -1. Negative: fail with -1.
  int64_t shortBytes = -1;
  // The error number the failing call leaves as the last error (0 for a short
  // transfer that carries no reason).
  int osCode = 29;
};

class FaultFileSystem final : public FileSystem {
 public:
  explicit FaultFileSystem(FileSystem& base) : base_(base) {}

  void add(const Fault& fault);
  // Writes that would take a file whose name ends with `nameSuffix` beyond
  // `bytes` write what fits and report the short count with OS code 112.
  void limitFileSize(uint64_t bytes, std::string nameSuffix = {});
  // Removes every fault and the size limit; the call counts stay.
  void clear();
  // How many calls of a kind were made through this file system.
  int calls(FileCall call) const { return counts_[static_cast<int>(call)]; }
  // How many injected faults have fired.
  int fired() const { return fired_; }

  std::unique_ptr<File> open(const std::string& name, int mode) override;
  std::unique_ptr<File> create(const std::string& name) override;
  bool remove(const std::string& name) override;
  bool exists(const std::string& pattern) override;
  std::string resolve(const std::string& name) override;

 private:
  friend class FaultFile;
  struct Armed {
    Fault fault;
    int seen = 0;
  };
  // Counts the call and returns the fault that fires for it, or null.
  const Fault* strike(FileCall call, const std::string& name);
  bool limited(const std::string& name) const;

  FileSystem& base_;
  std::vector<Armed> faults_;
  Fault firing_;
  bool hasLimit_ = false;
  uint64_t limit_ = 0;
  std::string limitSuffix_;
  int counts_[7] = {};
  int fired_ = 0;
};

}  // namespace talvor
