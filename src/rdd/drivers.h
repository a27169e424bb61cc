// The table-driver registry: driver names mapped to factories of work areas.
// "DBF", "DBFDBT" and "DBFNTX" make the layered work areas; "DELIM" and "SDF"
// are transfer drivers with no work area of their own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "rdd/work_area.h"

namespace talvor {

using AreaFactory = std::function<std::unique_ptr<WorkArea>()>;

// Registers (or replaces) a driver. A null factory registers a transfer driver.
void registerDriver(const std::string& name, AreaFactory factory);
bool isDriverRegistered(const std::string& name);
// A new work area of the driver; null for an unknown or transfer driver.
std::unique_ptr<WorkArea> makeWorkArea(const std::string& name);

}  // namespace talvor
