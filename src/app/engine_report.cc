#include "app/engine_report.h"

#include "app/error_log.h"
#include "rdd/area_registry.h"
#include "rdd/drivers.h"

namespace talvor {

namespace {

std::vector<std::string> linkedDrivers() {
  std::vector<std::string> names;
  for (const char* name : {"DBF", "DBFDBT", "DBFNTX", "DELIM", "SDF"})
    if (isDriverRegistered(name)) names.push_back(name);
  return names;
}

std::vector<AreaReport> areasInUse() {
  std::vector<AreaReport> reports;
  AreaRegistry& registry = areas();
  for (const auto& [number, area] : registry.areas()) {
    if (number > 255 || !area) continue;
    AreaReport r;
    r.area = number;
    r.current = number == registry.current();
    r.alias = area->alias();
    r.driver = area->driverName();
    r.recNo = area->currentRecord();
    r.recCount = area->countRecords();
    r.bof = area->bof();
    r.eof = area->eof();
    reports.push_back(std::move(r));
  }
  return reports;
}

}  // namespace

void installEngineReport() {
  EngineReportSource& source = engineReportSource();
  source.linkedDrivers = linkedDrivers;
  source.areasInUse = areasInUse;
}

}  // namespace talvor
