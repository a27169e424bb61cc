#include "ntx_check_verb.h"

#include "rdd/dbfntx/ntx_check.h"
#include "rdd/file_system.h"

namespace talvor {

int runNtxCheck(const std::string& path, std::ostream& out) {
  std::unique_ptr<File> file = fileSystem().open(path, fmode::Read | fmode::ShareDenyNone);
  if (!file) {
    out << path << ": cannot open (error " << fileSystem().lastError() << ")\n";
    return 2;
  }
  ntx::NtxCheckReport report = ntx::checkNtx(*file);
  file->close();
  out << path << "\n";
  ntx::printCheckReport(report, out);
  return report.ok ? 0 : 1;
}

}  // namespace talvor
