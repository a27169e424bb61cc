// A full check of an NTX file: header consistency, every tree page, key order
// over the whole tree, record numbers, the free list and the depth of leaves.
// Works on any bytes: a damaged file gives a damage list, never a crash or an
// endless walk.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "rdd/dbfntx/ntx_format.h"
#include "rdd/file_system.h"

namespace talvor::ntx {

struct NtxCheckReport {
  bool ok = false;                    // no damage found
  bool headerRead = false;            // 552 header bytes could be read
  NtxHeader header;
  std::vector<std::string> damage;    // what makes the file wrong
  std::vector<std::string> findings;  // legal but notable (uneven leaf depth, unused pages, ...)
  uint64_t keyCount = 0;              // keys reached in the tree
  int minLeafDepth = 0;               // the root is depth 1
  int maxLeafDepth = 0;
  uint64_t treePages = 0;
  uint64_t freePages = 0;
  uint64_t filePages = 0;             // whole 1024-byte pages in the file, header included
};

// Called for every key in tree order (in-order traversal).
using KeyVisitor = std::function<void(uint32_t record, const uint8_t* key, int keyWidth)>;

NtxCheckReport checkNtx(File& file, const KeyVisitor& visit = {});

// The report as text for users: header fields, counts, depth, findings, damage,
// and a last line "OK" or "DAMAGED".
void printCheckReport(const NtxCheckReport& report, std::ostream& out);

}  // namespace talvor::ntx
