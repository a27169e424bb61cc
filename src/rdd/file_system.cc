#include "rdd/file_system.h"

namespace talvor {

int64_t File::read(void* buf, std::size_t n) {
  int64_t got = readAt(position_, buf, n);
  if (got > 0) position_ += static_cast<uint64_t>(got);
  return got;
}

int64_t File::write(const void* buf, std::size_t n) {
  if (n == 0) {
    if (position_ == 0) return 0;
    return truncate(position_) ? 0 : -1;
  }
  int64_t put = writeAt(position_, buf, n);
  if (put > 0) position_ += static_cast<uint64_t>(put);
  return put;
}

FileSystem& posixFileSystem();  // posix_file_system.cc

namespace {
FileSystem* installed = nullptr;
}

FileSystem& fileSystem() { return installed ? *installed : posixFileSystem(); }
void setFileSystem(FileSystem* fs) { installed = fs; }

}  // namespace talvor
