#include "app/import_report.h"

#include <cstdio>

#include "services/runtime.h"

namespace talvor {

StepReport& ImportReport::begin(std::string file, std::string table) {
  steps.push_back(StepReport{std::move(file), std::move(table), -1, {}});
  return steps.back();
}

std::vector<std::string> ImportReport::summaryLines() const {
  std::vector<std::string> lines;
  lines.push_back("Import summary:");
  for (const auto& s : steps) {
    char buf[256];
    if (s.records >= 0)
      std::snprintf(buf, sizeof buf, "  %-24s -> %-10s %10lld records", s.file.c_str(), s.table.c_str(),
                    static_cast<long long>(s.records));
    else
      std::snprintf(buf, sizeof buf, "  %-24s -> %-10s", s.file.c_str(), s.table.c_str());
    lines.push_back(buf);
    for (const auto& w : s.warnings) lines.push_back("    warning: " + w);
  }
  return lines;
}

std::vector<std::string> ImportReport::warningLines() const {
  std::vector<std::string> lines;
  for (const auto& s : steps)
    for (const auto& w : s.warnings) lines.push_back("warning: " + s.file + ": " + w);
  return lines;
}

ImportReport& importReport() { return rt().component<ImportReport>(); }

}  // namespace talvor
