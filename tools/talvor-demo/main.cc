// talvor-demo DIR [--rows N] [--seed S]: writes a complete demo data set into DIR:
// every table of the quoting application's data set (empty) and every SAP export
// file, deterministic for a seed. N scales the material and price files.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo_exports.h"
#include "demo_tables.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: talvor-demo DIR [--rows N] [--seed S]\n");
  return 2;
}

bool parseNumber(const char* text, long long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtoll(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string dir = argv[1];
  talvor::demo::ExportOptions options;
  for (int i = 2; i < argc; ++i) {
    long long n = 0;
    std::string arg = argv[i];
    if ((arg == "--rows" || arg == "--seed") && i + 1 < argc && parseNumber(argv[i + 1], n)) {
      if (arg == "--rows")
        options.rows = n;
      else
        options.seed = static_cast<unsigned long long>(n);
      ++i;
    } else {
      return usage();
    }
  }
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "talvor-demo: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
    return 1;
  }
  if (!talvor::demo::createDemoTables(dir) || !talvor::demo::writeDemoExports(dir, options)) return 1;
  std::printf("Demo data set with %lld material rows written to %s\n", static_cast<long long>(options.rows),
              dir.c_str());
  return 0;
}
