#include "rdd/drivers.h"

#include <map>

#include "rdd/dbf_area.h"
#include "rdd/dbt_area.h"
#include "rdd/ntx_area.h"
#include "services/runtime.h"

namespace talvor {

namespace {

struct DriverTable {
  std::map<std::string, AreaFactory> factories;

  // "DBF", "DBFDBT" on it, "DBFNTX" on that; the transfer drivers "DELIM" and "SDF".
  DriverTable() {
    factories["DBF"] = [] { return std::make_unique<DbfArea>(); };
    factories["DBFDBT"] = [] { return std::make_unique<DbtArea>(); };
    factories["DBFNTX"] = [] { return std::make_unique<NtxArea>(); };
    factories["DELIM"] = nullptr;
    factories["SDF"] = nullptr;
  }
};

DriverTable& drivers() { return rt().component<DriverTable>(); }

}  // namespace

void registerDriver(const std::string& name, AreaFactory factory) { drivers().factories[name] = std::move(factory); }

bool isDriverRegistered(const std::string& name) { return drivers().factories.count(name) != 0; }

std::unique_ptr<WorkArea> makeWorkArea(const std::string& name) {
  auto it = drivers().factories.find(name);
  if (it == drivers().factories.end() || !it->second) return nullptr;
  return it->second();
}

}  // namespace talvor
