// talvor-inspect: looks into the quoting application's files.
//   talvor-inspect header FILE.dbf          the table's header fields
//   talvor-inspect struct FILE.dbf          its fields
//   talvor-inspect count FILE.dbf           its record count
//   talvor-inspect rows FILE.dbf [--csv] [--limit N]   its records (deleted ones marked)
//   talvor-inspect check FILE.ntx           an index file's header and a full check of its tree
//   talvor-inspect dbt FILE.dbt             a memo file's next-free block and its texts
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "dbt_verb.h"
#include "ntx_check_verb.h"
#include "table_verbs.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: talvor-inspect header|struct|count FILE.dbf\n"
               "       talvor-inspect rows FILE.dbf [--csv] [--limit N]\n"
               "       talvor-inspect check FILE.ntx\n"
               "       talvor-inspect dbt FILE.dbt\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string verb = argv[1];
  const std::string path = argv[2];
  talvor::RowOptions options;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--csv") {
      options.csv = true;
    } else if (arg == "--limit" && i + 1 < argc) {
      options.limit = std::atol(argv[++i]);
    } else {
      return usage();
    }
  }
  if (verb == "check") return talvor::runNtxCheck(path, std::cout);
  if (verb == "dbt") return talvor::runDbtListing(path, std::cout);
  if (verb == "header") return talvor::runTableHeader(path, std::cout);
  if (verb == "struct") return talvor::runTableStruct(path, std::cout);
  if (verb == "count") return talvor::runTableCount(path, std::cout);
  if (verb == "rows") return talvor::runTableRows(path, options, std::cout);
  return usage();
}
