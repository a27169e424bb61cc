// An in-memory File for index tests: bytes in a vector, no locks.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "rdd/file_system.h"

namespace talvor::ntx::testing {

class MemoryFile : public File {
 public:
  std::vector<uint8_t> bytes;
  int writes = 0;
  int reads = 0;

  int64_t readAt(uint64_t offset, void* buf, std::size_t n) override {
    ++reads;
    if (offset >= bytes.size()) return 0;
    std::size_t got = std::min<std::size_t>(n, bytes.size() - offset);
    std::memcpy(buf, bytes.data() + offset, got);
    return static_cast<int64_t>(got);
  }
  int64_t writeAt(uint64_t offset, const void* buf, std::size_t n) override {
    ++writes;
    if (bytes.size() < offset + n) bytes.resize(offset + n);
    std::memcpy(bytes.data() + offset, buf, n);
    return static_cast<int64_t>(n);
  }
  bool truncate(uint64_t size) override {
    bytes.resize(size);
    return true;
  }
  int64_t size() override { return static_cast<int64_t>(bytes.size()); }
  bool lock(const LockRequest&) override { return true; }
  bool commit() override { return true; }
  bool close() override { return true; }

  uint16_t u16(std::size_t at) const { return uint16_t(bytes[at] | (bytes[at + 1] << 8)); }
  uint32_t u32(std::size_t at) const {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
  }
};

}  // namespace talvor::ntx::testing
