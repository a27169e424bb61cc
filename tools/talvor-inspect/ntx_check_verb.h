// talvor-inspect's NTX check: prints an index file's header and a full check of
// its tree.
#pragma once

#include <ostream>
#include <string>

namespace talvor {

// Returns 0 when the file is sound, 1 when damage was found, 2 when it cannot be
// opened.
int runNtxCheck(const std::string& path, std::ostream& out);

}  // namespace talvor
