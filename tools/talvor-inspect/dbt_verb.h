// talvor-inspect's DBT listing: prints a memo file's next-free block number and
// each text found in it, with its block and length.
#pragma once

#include <ostream>
#include <string>

namespace talvor {

// Returns 0 when the file is sound, 1 when its header is damaged (shorter than a
// block, or a next-free number of 0 or past the end of the file), 2 when it
// cannot be opened or read.
int runDbtListing(const std::string& path, std::ostream& out);

}  // namespace talvor
