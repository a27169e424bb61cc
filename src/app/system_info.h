// Facts about the machine and this process for the error report, read from
// /proc, uname and /etc/os-release. Anything that cannot be read is left empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talvor {

struct ProcessInfo {
  std::string executable;  // the real path of the running program
  int64_t size = -1;       // its file size in bytes
  int bits = 0;            // 32 or 64
  double secondsRunning = 0;
  int64_t memoryBytes = -1;      // resident now
  int64_t peakMemoryBytes = -1;  // highest resident so far
};

ProcessInfo processInfo();

// The "System" section's lines, without the leading blanks.
std::vector<std::string> systemDescription();

}  // namespace talvor
