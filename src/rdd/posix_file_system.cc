// The file system over POSIX calls. Sharing modes are emulated with flock(),
// byte-range locks are open-file-description locks, names are found without
// regard to case, and errno values are reported as Windows error numbers.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "rdd/file_system.h"
#include "services/text.h"

namespace talvor {

int windowsErrorFromErrno(int e) {
  struct Pair {
    int errnoValue;
    int windowsCode;
  };
  static const Pair table[] = {
      {ENOENT, oserr::FileNotFound},   {ENOTDIR, oserr::PathNotFound},
      {EACCES, oserr::AccessDenied},   {EPERM, oserr::AccessDenied},
      {EISDIR, oserr::AccessDenied},   {EEXIST, oserr::AccessDenied},
      {EMFILE, oserr::TooManyOpen},    {ENFILE, oserr::TooManyOpen},
      {EBADF, oserr::InvalidHandle},   {EAGAIN, oserr::LockViolation},
      {EDEADLK, oserr::LockViolation}, {ENOSPC, oserr::DiskFull},
      {EDQUOT, oserr::DiskFull},       {EFBIG, oserr::DiskFull},
      {EROFS, 19},                     {EIO, 29},
      {EINVAL, 87},                    {ENAMETOOLONG, 206},
      {ETXTBSY, oserr::SharingViolation},
  };
  for (const Pair& p : table)
    if (p.errnoValue == e) return p.windowsCode;
  return e == 0 ? 0 : 31;  // 31: a device does not function
}

namespace {

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool pathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` without regard to case, or "".
std::string findEntryIgnoringCase(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (equalsIgnoreCase(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

std::string withSlashes(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

void splitPath(const std::string& path, std::string& dir, std::string& base) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    dir.clear();
    base = path;
  } else {
    dir = path.substr(0, slash + 1);
    base = path.substr(slash + 1);
  }
}

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { close(); }

  int64_t readAt(uint64_t offset, void* buf, std::size_t n) override {
    auto* p = static_cast<char*>(buf);
    std::size_t done = 0;
    while (done < n) {
      ssize_t got = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        return fail();
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    setLastError(0);
    return static_cast<int64_t>(done);
  }

  int64_t writeAt(uint64_t offset, const void* buf, std::size_t n) override {
    const auto* p = static_cast<const char*>(buf);
    std::size_t done = 0;
    while (done < n) {
      ssize_t put = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        if (done == 0) return fail();
        setLastError(windowsErrorFromErrno(errno));
        return static_cast<int64_t>(done);
      }
      done += static_cast<std::size_t>(put);
    }
    startWriteBackEvery(done);
    setLastError(0);
    return static_cast<int64_t>(done);
  }

  bool truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return failed();
    setLastError(0);
    return true;
  }

  int64_t size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return fail();
    setLastError(0);
    return static_cast<int64_t>(st.st_size);
  }

  bool lock(const LockRequest& r) override {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = r.unlock ? F_UNLCK : (r.shared ? F_RDLCK : F_WRLCK);
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(r.offset);
    fl.l_len = static_cast<off_t>(r.length);
    int cmd = r.wait && !r.unlock ? F_OFD_SETLKW : F_OFD_SETLK;
    while (::fcntl(fd_, cmd, &fl) != 0) {
      if (errno == EINTR) continue;
      setLastError(errno == EAGAIN || errno == EACCES ? oserr::LockViolation
                                                     : windowsErrorFromErrno(errno));
      return false;
    }
    setLastError(0);
    return true;
  }

  bool commit() override {
    if (::fsync(fd_) != 0) return failed();
    setLastError(0);
    return true;
  }

  bool close() override {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);  // also drops the flock and every byte-range lock
    fd_ = -1;
    if (rc != 0) return failed();
    return true;
  }

 private:
  // Large tables are written far faster than a disk takes them, and a written
  // file is committed when it is closed. Handing the written pages to the disk
  // every few megabytes, without waiting for them, lets the disk work while the
  // program goes on, so that the commit finds little left to do. Which bytes
  // reach the file, and when a commit returns, stay the same.
  static constexpr std::size_t kWriteBackStep = 8u << 20;
  void startWriteBackEvery(std::size_t written) {
    unsentBytes_ += written;
    if (unsentBytes_ < kWriteBackStep) return;
    unsentBytes_ = 0;
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
  }
  std::size_t unsentBytes_ = 0;

  int64_t fail() {
    setLastError(windowsErrorFromErrno(errno));
    return -1;
  }
  bool failed() {
    fail();
    return false;
  }
  int fd_;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> open(const std::string& name, int mode) override {
    std::string path = resolve(name);
    int access = mode & 3;
    int flags = access == fmode::Read ? O_RDONLY : access == fmode::Write ? O_WRONLY : O_RDWR;
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return failOpen(path);
    bool exclusive = (mode & 0x70) == fmode::ShareExclusive;
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
      ::close(fd);
      setLastError(oserr::SharingViolation);
      return nullptr;
    }
    setLastError(0);
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<File> create(const std::string& name) override {
    std::string path = resolve(name);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return failOpen(path);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      setLastError(oserr::SharingViolation);
      return nullptr;
    }
    if (::ftruncate(fd, 0) != 0) {
      setLastError(windowsErrorFromErrno(errno));
      ::close(fd);
      return nullptr;
    }
    setLastError(0);
    return std::make_unique<PosixFile>(fd);
  }

  bool remove(const std::string& name) override {
    std::string path = resolve(name);
    if (::unlink(path.c_str()) != 0) {
      setLastError(windowsErrorFromErrno(errno));
      return false;
    }
    setLastError(0);
    return true;
  }

  bool exists(const std::string& pattern) override {
    std::string path = withSlashes(pattern);
    std::string dir, base;
    splitPath(path, dir, base);
    if (base.find_first_of("*?") == std::string::npos) return isRegularFile(resolve(path));
    std::string folder = dir.empty() ? std::string(".") : resolve(dir);
    DIR* d = ::opendir(folder.c_str());
    if (!d) return false;
    bool found = false;
    while (dirent* e = ::readdir(d)) {
      if (::fnmatch(base.c_str(), e->d_name, FNM_CASEFOLD | FNM_PERIOD) != 0) continue;
      if (isRegularFile(folder + "/" + e->d_name)) {
        found = true;
        break;
      }
    }
    ::closedir(d);
    return found;
  }

  std::string resolve(const std::string& name) override {
    std::string path = withSlashes(name);
    if (path.empty() || pathExists(path)) return path;
    // Resolve component by component so that any folder may differ in case too.
    std::string done;
    std::size_t start = 0;
    if (path[0] == '/') {
      done = "/";
      start = 1;
    }
    while (start <= path.size()) {
      std::size_t slash = path.find('/', start);
      std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      if (!part.empty() && part != "." && part != "..") {
        std::string candidate = done + part;
        if (!pathExists(candidate)) {
          std::string match = findEntryIgnoringCase(done, part);
          if (match.empty()) return path;  // a new name: used as given
          candidate = done + match;
        }
        done = candidate;
      } else {
        done += part;
      }
      if (slash == std::string::npos) break;
      done += '/';
      start = slash + 1;
    }
    return done;
  }

 private:
  std::unique_ptr<File> failOpen(const std::string& path) {
    int code = windowsErrorFromErrno(errno);
    if (code == oserr::FileNotFound) {
      std::string dir, base;
      splitPath(path, dir, base);
      if (!dir.empty() && !pathExists(dir)) code = oserr::PathNotFound;
    }
    setLastError(code);
    return nullptr;
  }
};

}  // namespace

FileSystem& posixFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace talvor
