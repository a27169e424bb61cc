#include "rdd/ntx_area.h"

namespace talvor {

// The index layer's operations; until orders are attached they run the memo
// layer's operation.
NtxArea::NtxArea(std::string driverName) : DbtArea(std::move(driverName)) {}

bool NtxArea::goFirst() { return DbtArea::goFirst(); }
bool NtxArea::goLast() { return DbtArea::goLast(); }
bool NtxArea::goToRecord(uint32_t n) { return DbtArea::goToRecord(n); }
bool NtxArea::stepRaw(int64_t n) { return DbtArea::stepRaw(n); }
bool NtxArea::beginChange() { return DbtArea::beginChange(); }
bool NtxArea::writeBack() { return DbtArea::writeBack(); }
bool NtxArea::flushArea() { return DbtArea::flushArea(); }
bool NtxArea::closeTable() { return DbtArea::closeTable(); }
bool NtxArea::packTable() { return DbtArea::packTable(); }
bool NtxArea::zapTable() { return DbtArea::zapTable(); }

}  // namespace talvor
