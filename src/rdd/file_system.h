// The platform layer for files: a small interface in the spirit of an Env, with a
// POSIX implementation (posix_file_system.cc) and a fault-injecting wrapper for
// tests (fault_file_system.h).
//
// Errors are Windows error numbers (2 file not found, 3 path not found, 5 access
// denied, 32 sharing violation, 33 lock violation, 39/112 disk full, ...), mapped
// from errno in one table. Every call records its outcome as the file system's
// last error (0 after a success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace talvor {

// Open-mode numbers: access part + sharing part.
namespace fmode {
inline constexpr int Read = 0;
inline constexpr int Write = 1;
inline constexpr int ReadWrite = 2;
inline constexpr int ShareCompat = 0;     // others may read and write
inline constexpr int ShareExclusive = 16; // no other opener
inline constexpr int ShareDenyWrite = 32; // others may read only
inline constexpr int ShareDenyRead = 48;  // others may write only
inline constexpr int ShareDenyNone = 64;  // others may read and write
}  // namespace fmode

// Windows error numbers used in run-time errors.
namespace oserr {
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int TooManyOpen = 4;
inline constexpr int AccessDenied = 5;
inline constexpr int InvalidHandle = 6;
inline constexpr int SharingViolation = 32;
inline constexpr int LockViolation = 33;
inline constexpr int HandleDiskFull = 39;
inline constexpr int FileExists = 80;
inline constexpr int DiskFull = 112;
inline constexpr int NegativeSeek = 25;
}  // namespace oserr

struct LockRequest {
  uint64_t offset = 0;
  uint64_t length = 1;
  bool unlock = false;
  bool shared = false;  // shared instead of exclusive
  bool wait = false;    // wait until granted instead of failing at once
};

// An open file. Positions are absolute; there is also a current position for the
// FREADSTR/FSEEK family.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at offset; returns the count read (short at end of file),
  // or -1 on error.
  virtual int64_t readAt(uint64_t offset, void* buf, std::size_t n) = 0;
  // Writes n bytes at offset; returns the count written, or -1 on error. A short
  // count means the disk is full.
  virtual int64_t writeAt(uint64_t offset, const void* buf, std::size_t n) = 0;
  virtual bool truncate(uint64_t size) = 0;
  virtual int64_t size() = 0;
  virtual bool lock(const LockRequest& request) = 0;
  virtual bool commit() = 0;  // ask the OS to write its buffers to disk
  virtual bool close() = 0;

  // Sequential access at the current position.
  int64_t read(void* buf, std::size_t n);
  // Writing 0 bytes cuts the file at the current position, except at position 0.
  int64_t write(const void* buf, std::size_t n);
  uint64_t position() const { return position_; }
  void setPosition(uint64_t p) { position_ = p; }

  // The error number of this file's last failed call (0 after a success).
  int lastError() const { return lastError_; }
  void setLastError(int e) { lastError_ = e; }

 private:
  uint64_t position_ = 0;
  int lastError_ = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing file with an open-mode number; null on failure.
  virtual std::unique_ptr<File> open(const std::string& name, int mode) = 0;
  // Creates (or replaces) a file, opened for reading and writing with no sharing.
  virtual std::unique_ptr<File> create(const std::string& name) = 0;
  virtual bool remove(const std::string& name) = 0;
  // True when a regular file (not a folder) matches; '*' and '?' are wildcards.
  virtual bool exists(const std::string& pattern) = 0;
  // The name as it exists on disk: backslashes become slashes, and an existing
  // file is found without regard to case when the exact name does not exist.
  virtual std::string resolve(const std::string& name) = 0;

  int lastError() const { return lastError_; }
  void setLastError(int e) { lastError_ = e; }

 private:
  int lastError_ = 0;
};

// The process's file system (the POSIX one unless a test installs another).
FileSystem& fileSystem();
// Installs a file system for tests; null restores the POSIX one. Not owning.
void setFileSystem(FileSystem* fs);

}  // namespace talvor
