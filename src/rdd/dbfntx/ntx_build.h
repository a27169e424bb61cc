// Writing a complete index tree bottom-up from a sorted key stream: the level
// plan (how many keys each page of each level receives) and the page writer,
// which writes every page once, in file order from offset 1024, the root last.
#pragma once

#include <cstdint>
#include <vector>

#include "rdd/dbfntx/key_sorter.h"
#include "rdd/dbfntx/ntx_format.h"
#include "rdd/file_system.h"

namespace talvor::ntx {

// The shape of a built tree for n keys at a page capacity of maxKeys.
struct LevelPlan {
  int levels = 0;                   // L
  std::vector<int> keysPerPage;     // [d] for d = 1 (leaves) .. L (root); [0] unused
  double leaves = 0;                // C
  double fullLeaves = 0;            // F: the first F leaves get keysPerPage[1] keys
};

// The plan, computed in double precision exactly as the page writer needs it.
LevelPlan planLevels(uint64_t keyCount, int maxKeys);

// Writes the tree pages of the finished sorter's stream into `file` from offset
// 1024 on. Returns the root page offset, or 0 when a write or the key stream
// failed. The file should hold only its header page (or nothing) beforehand.
uint32_t writeTreePages(File& file, int keyWidth, int maxKeys, KeySorter& keys);

// The whole build on a file: finishes the sorter, writes the tree, then the full
// header with the root page offset set and an empty free list. False on failure
// (the file then holds what was written so far).
bool writeIndexTree(File& file, NtxHeader& header, KeySorter& keys);

// Writes the full header page at offset 0; false on a failed or short write.
bool writeFullHeader(File& file, const NtxHeader& header);

}  // namespace talvor::ntx
