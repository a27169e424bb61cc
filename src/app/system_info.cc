#include "app/system_info.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <limits.h>

namespace talvor {

namespace {

// Taken when the program is loaded: the start of "Time from start".
const auto kProgramStart = std::chrono::steady_clock::now();

// The value after "key:" on the first line of `path` that starts with `key`.
std::string fieldOf(const char* path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::size_t colon = line.find(':', key.size());
    if (colon == std::string::npos) colon = line.find('=', key.size());
    if (colon == std::string::npos) continue;
    std::size_t start = line.find_first_not_of(" \t\"", colon + 1);
    if (start == std::string::npos) return {};
    std::size_t end = line.find_last_not_of(" \t\"");
    return line.substr(start, end - start + 1);
  }
  return {};
}

int64_t kilobytesField(const char* path, const std::string& key) {
  const std::string v = fieldOf(path, key);
  if (v.empty()) return -1;
  try {
    return std::stoll(v) * 1024;
  } catch (...) {
    return -1;
  }
}

std::string megabytes(int64_t bytes) {
  return bytes < 0 ? std::string("unknown") : std::to_string(bytes / (1024 * 1024)) + " megs";
}

}  // namespace

ProcessInfo processInfo() {
  ProcessInfo info;
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) info.executable.assign(buf, static_cast<std::size_t>(n));
  struct stat st {};
  if (!info.executable.empty() && stat(info.executable.c_str(), &st) == 0) info.size = st.st_size;
  info.bits = static_cast<int>(sizeof(void*) * 8);
  info.secondsRunning =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - kProgramStart).count();
  info.memoryBytes = kilobytesField("/proc/self/status", "VmRSS");
  info.peakMemoryBytes = kilobytesField("/proc/self/status", "VmHWM");
  return info;
}

std::vector<std::string> systemDescription() {
  std::vector<std::string> lines;
  std::string cpu = fieldOf("/proc/cpuinfo", "model name");
  const std::string mhz = fieldOf("/proc/cpuinfo", "cpu MHz");
  if (cpu.empty()) cpu = "unknown";
  if (!mhz.empty()) cpu += " " + mhz.substr(0, mhz.find('.')) + " Mhz";
  lines.push_back("CPU type: " + cpu);
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  lines.push_back("Processors: " + std::to_string(cpus > 0 ? cpus : 1));
  lines.push_back("Hardware memory: " + megabytes(kilobytesField("/proc/meminfo", "MemTotal")));
  lines.push_back("Free memory: " + megabytes(kilobytesField("/proc/meminfo", "MemAvailable")));
  struct utsname u {};
  if (uname(&u) == 0)
    lines.push_back(std::string("Operating system: ") + u.sysname + " " + u.release + " " +
                    u.version + " (" + u.machine + ")");
  const std::string distribution = fieldOf("/etc/os-release", "PRETTY_NAME");
  if (!distribution.empty()) lines.push_back("Distribution: " + distribution);
  lines.push_back("Run-time: talvor run-time 1.0");
  return lines;
}

}  // namespace talvor
