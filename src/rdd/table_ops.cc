// Whole-table commands: ZAP, PACK, structures, DBCREATE and its relatives,
// APPEND FROM.
#include "rdd/table_ops.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/db_commands.h"
#include "rdd/drivers.h"
#include "rdd/file_names.h"
#include "services/error.h"
#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

namespace {

constexpr const char* kSubsystem = "DBCMD";

// The pack requests in progress: an entry lives exactly as long as its packTable call.
std::map<const WorkArea*, PackProgress>& packRequests() {
  static std::map<const WorkArea*, PackProgress> requests;
  return requests;
}

class ScopedPackProgress {
 public:
  ScopedPackProgress(const WorkArea* area, PackProgress progress) : area_(area) {
    packRequests()[area_] = std::move(progress);
  }
  ~ScopedPackProgress() { packRequests().erase(area_); }
  ScopedPackProgress(const ScopedPackProgress&) = delete;
  ScopedPackProgress& operator=(const ScopedPackProgress&) = delete;

 private:
  const WorkArea* area_;
};

std::string trimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

const PackProgress* packProgressOf(const WorkArea* area) {
  auto it = packRequests().find(area);
  return it == packRequests().end() ? nullptr : &it->second;
}

Value __DBZAP() {
  if (WorkArea* area = requireTable("__DBZAP")) area->zapTable();
  return {};
}

Value __DBPACK(const Value& progress, const Value& every) {
  WorkArea* area = requireTable("__DBPACK");
  if (area == nullptr) return {};
  PackProgress request;
  if (progress.isBlock()) request.block = progress;
  if (every.isNumber()) {
    const double n = every.asDouble();
    request.every = n >= 1 && n <= 4294967295.0 ? static_cast<uint32_t>(n) : 1;
  }
  ScopedPackProgress scope(area, std::move(request));
  area->packTable();
  return {};
}

Value DBSTRUCT() {
  WorkArea* area = currentArea();
  if (area == nullptr) return {};
  ValueArray rows;
  rows.reserve(area->fields().size());
  for (const dbf::FieldDef& f : area->fields()) {
    const char letter = f.reportedType();
    rows.push_back(Value::array({Value::text(f.name), Value::text(std::string(1, letter)),
                                 Value::integer(f.length),
                                 Value::integer(letter == 'C' ? 0 : f.decimals)}));
  }
  return Value::array(std::move(rows));
}

Value __DBSTRUCTFILTER(const Value& structure, const Value& names) {
  if (!names.isArray() || names.asArray().empty() || !structure.isArray()) return structure;
  ValueArray picked;
  for (const Value& name : names.asArray()) {
    if (!name.isText()) continue;
    const std::string wanted = upperAscii(trimRight(name.asText()));
    for (const Value& row : structure.asArray()) {
      if (!row.isArray() || row.asArray().empty() || !row.asArray()[0].isText()) continue;
      if (row.asArray()[0].asText() == wanted) {
        picked.push_back(row);
        break;
      }
    }
  }
  return Value::array(std::move(picked));
}

Value __RDDGETTEMPALIAS() {
  char alias[24];  // room for any int, which the compiler checks against
  for (int n = 1; n <= 999; ++n) {
    std::snprintf(alias, sizeof alias, "WKTMP%03d", n);
    if (areas().areaOfAlias(alias) == 0) return Value::text(alias);
  }
  return Value::text("");
}

namespace {

void raiseCreateFailure(int genCode, int subCode) {
  raise(makeError(kSubsystem, genCode, subCode, "DBCREATE"));
}

// A one-letter alias would shadow an area letter: only "L" and letters after "M" are free.
bool isReservedAlias(const std::string& alias) {
  if (alias.size() != 1) return false;
  const char c = upperAscii(alias)[0];
  return !(c == 'L' || c > 'M');
}

bool validStructure(const Value& structure, std::vector<dbf::FieldSpec>& specs) {
  if (!structure.isArray() || structure.asArray().empty()) return false;
  for (const Value& row : structure.asArray()) {
    if (!row.isArray() || row.asArray().size() < 4) return false;
    const ValueArray& r = row.asArray();
    if (!r[0].isText() || !r[1].isText() || !r[2].isNumber() || !r[3].isNumber()) return false;
    dbf::FieldSpec field;
    field.name = r[0].asText();
    field.type = r[1].asText();
    field.length = static_cast<int>(r[2].asDouble());
    field.decimals = static_cast<int>(r[3].asDouble());
    specs.push_back(std::move(field));
  }
  return true;
}

void closeCurrent() {
  if (USED().asLogical()) DBCLOSEAREA();
}

}  // namespace

Value DBCREATE(const Value& file, const Value& structure, const Value& driver,
               const Value& openNew, const Value& alias, const Value& codePage) {
  rt().netErr = false;
  std::string name = file.isText() ? file.asText().substr(0, 255) : std::string();
  std::vector<dbf::FieldSpec> specs;
  if (name.empty() || !validStructure(structure, specs)) {
    raiseCreateFailure(gen::ArgumentError, 1014);
    return {};
  }
  AreaRegistry& registry = areas();
  const int remembered = registry.current();
  const std::string driverName = driver.isText() && !driver.asText().empty()
                                     ? upperAscii(driver.asText().substr(0, 32))
                                     : registry.defaultDriver;
  const std::string realAlias = alias.isText() && !alias.asText().empty()
                                    ? alias.asText().substr(0, 32)
                                    : baseName(name).substr(0, 32);
  if (isReservedAlias(realAlias)) {
    raiseCreateFailure(gen::ArgumentError, 1015);
    return {};
  }
  const std::string tempAlias = __RDDGETTEMPALIAS().asText();
  if (tempAlias.empty()) {
    raiseCreateFailure(gen::DupAlias, 1011);
    return {};
  }

  if (openNew.isLogical() && !openNew.asLogical()) {
    closeCurrent();
  } else {
    registry.select(registry.nextFree());
  }
  const int target = registry.current();

  std::unique_ptr<WorkArea> made = makeWorkArea(driverName);
  if (!made) {
    registry.select(remembered);
    raiseCreateFailure(gen::Create, 1015);
    return {};
  }
  if (!hasExtension(name)) name += ".dbf";
  std::vector<dbf::FieldDef> fields;
  for (const dbf::FieldSpec& field : specs) {
    dbf::FieldDef def;
    std::string problem;
    if (!dbf::fieldFromSpec(field, def, problem)) {
      registry.select(remembered);
      raiseCreateFailure(gen::Create, 1015);
      return {};
    }
    fields.push_back(std::move(def));
  }

  WorkArea* area = registry.install(target, std::move(made));
  area->setAlias(tempAlias);
  registry.bindAlias(tempAlias, target);
  const bool created = area->createTable(name, fields);
  area->closeTable();
  if (registry.areaOfAlias(tempAlias) == target) registry.unbindAlias(tempAlias);
  registry.release(target);

  if (!created || !openNew.isLogical()) {
    registry.select(remembered);
    return {};
  }
  registry.select(target);
  DBUSEAREA(Value::logical(false), Value::text(driverName), Value::text(name),
            Value::text(realAlias), Value::logical(!rt().settings.exclusive),
            Value::logical(false), codePage);
  return USED();
}

Value __DBCREATE(const Value& file, const Value& from, const Value& driver, const Value& newArea,
                 const Value& alias) {
  const int remembered = areas().current();
  const bool lNew = newArea.isLogical() && newArea.asLogical();
  if (!lNew) closeCurrent();
  try {
    if (!from.isText() || from.asText().empty()) {
      const Value structure = Value::array({
          Value::array({Value::text("FIELD_NAME"), Value::text("C"), Value::integer(10),
                        Value::integer(0)}),
          Value::array({Value::text("FIELD_TYPE"), Value::text("C"), Value::integer(1),
                        Value::integer(0)}),
          Value::array({Value::text("FIELD_LEN"), Value::text("N"), Value::integer(3),
                        Value::integer(0)}),
          Value::array({Value::text("FIELD_DEC"), Value::text("N"), Value::integer(3),
                        Value::integer(0)}),
      });
      DBCREATE(file, structure, driver);
      DBUSEAREA(Value::logical(false), driver, file, alias);
      return USED();
    }
    const Value tempAlias = __RDDGETTEMPALIAS();
    DBUSEAREA(Value::logical(lNew), Value{}, from, tempAlias);
    ValueArray rows;
    if (WorkArea* source = currentArea()) {
      const int namePos = source->fieldPosition("FIELD_NAME");
      const int typePos = source->fieldPosition("FIELD_TYPE");
      const int lenPos = source->fieldPosition("FIELD_LEN");
      const int decPos = source->fieldPosition("FIELD_DEC");
      source->goFirst();
      while (!source->eof()) {
        Value name, type, length, decimals;
        source->readField(namePos, name);
        source->readField(typePos, type);
        source->readField(lenPos, length);
        source->readField(decPos, decimals);
        auto trimmed = [](const Value& v) {
          std::string s = v.isText() ? v.asText() : std::string();
          while (!s.empty() && s.back() == ' ') s.pop_back();
          return Value::text(s);
        };
        Value typeText = trimmed(type);
        if (typeText.asText() == "C" && decimals.isNumber() && decimals.asDouble() != 0 &&
            length.isNumber()) {
          length = Value::integer(static_cast<int64_t>(length.asDouble()) +
                                  256 * static_cast<int64_t>(decimals.asDouble()));
          decimals = Value::integer(0);
        }
        rows.push_back(Value::array({trimmed(name), typeText, length, decimals}));
        if (!source->skipBy(1)) break;
      }
      DBCLOSEAREA();
    }
    if (lNew) areas().select(remembered);
    DBCREATE(file, Value::array(std::move(rows)), driver);
    DBUSEAREA(Value::logical(lNew), driver, file, alias);
  } catch (...) {
    closeCurrent();
    throw;
  }
  return USED();
}

Value __DBCOPYXSTRUCT(const Value& file) {
  const Value rows = DBSTRUCT();
  if (!rows.isArray() || rows.asArray().empty()) return Value::logical(false);
  AreaRegistry& registry = areas();
  const int remembered = registry.current();
  auto cleanUp = [&] {
    if (registry.current() != remembered) {
      closeCurrent();
      registry.select(remembered);
    }
  };
  try {
    const Value tempAlias = __RDDGETTEMPALIAS();
    registry.select(registry.nextFree());
    __DBCREATE(file, Value{}, Value{}, Value::logical(false), tempAlias);
    if (USED().asLogical()) {
      for (const Value& row : rows.asArray()) {
        const ValueArray& r = row.asArray();
        int64_t length = static_cast<int64_t>(r[2].asDouble());
        int64_t decimals = static_cast<int64_t>(r[3].asDouble());
        if (r[1].asText() == "C" && length > 255) {
          decimals = length / 256;
          length %= 256;
        }
        DBAPPEND();
        FIELDPUT(Value::integer(1), r[0]);
        FIELDPUT(Value::integer(2), r[1]);
        FIELDPUT(Value::integer(3), Value::integer(length));
        FIELDPUT(Value::integer(4), Value::integer(decimals));
      }
    }
  } catch (...) {
    cleanUp();
    throw;
  }
  cleanUp();
  return Value::logical(true);
}

Value __DBCOPYSTRUCT(const Value& file, const Value& fieldNames) {
  return DBCREATE(file, __DBSTRUCTFILTER(DBSTRUCT(), fieldNames));
}


namespace {

// A field-list entry accepts a field when the entry, without any alias prefix
// ending in "->" and upper-cased, is the beginning of the field name.
bool fieldAccepted(const std::string& fieldName, const Value& list) {
  if (!list.isArray() || list.asArray().empty()) return true;
  for (const Value& entry : list.asArray()) {
    if (!entry.isText()) continue;
    std::string e = entry.asText();
    const std::size_t arrow = e.rfind("->");
    if (arrow != std::string::npos) e.erase(0, arrow + 2);
    e = upperAscii(e);
    if (fieldName.compare(0, e.size(), e) == 0 && e.size() <= fieldName.size()) return true;
  }
  return false;
}

// Evaluates a condition block with the source area current.
bool holds(const Value& block, AreaRegistry& registry, int sourceArea, int destArea) {
  registry.select(sourceArea);
  const Value v = block.call();
  registry.select(destArea);
  return v.isLogical() && v.asLogical();
}

void transferRecord(WorkArea& source, WorkArea& dest, const Value& fieldNames) {
  if (!dest.appendBlank(false)) return;
  bool deleted = false;
  if (source.readDeleted(deleted) && deleted) dest.markDeleted();
  for (int i = 1; i <= dest.countFields(); ++i) {
    const std::string& name = dest.field(i)->name;
    if (!fieldAccepted(name, fieldNames)) continue;
    const int from = source.fieldPosition(name);
    if (from == 0) continue;
    Value v;
    if (source.readField(from, v)) dest.writeField(i, v);
  }
}

}  // namespace

Value __DBAPP(const Value& file, const Value& fieldNames, const Value& forBlock,
              const Value& whileBlock, const Value& next, const Value& record, const Value& rest,
              const Value& driver) {
  WorkArea* dest = requireTable("DBAPP");
  if (dest == nullptr) return {};
  AreaRegistry& registry = areas();
  const int remembered = registry.current();
  const std::string driverName = driver.isText() && !driver.asText().empty()
                                     ? upperAscii(driver.asText().substr(0, 32))
                                     : registry.defaultDriver;
  if (!isDriverRegistered(driverName)) {
    raise(makeError(kSubsystem, gen::ArgumentError, 2019, "DBAPP"));
    return {};
  }
  std::string name = file.isText() ? file.asText() : std::string();
  if (!name.empty() && !hasExtension(name)) name += ".dbf";

  const int sourceArea = registry.nextFree();
  registry.select(sourceArea);
  DBUSEAREA(Value::logical(false), Value::text(driverName), Value::text(name),
            Value::text("__TMPAREA"), Value::logical(!rt().settings.exclusive),
            Value::logical(true));
  WorkArea* source = registry.area(sourceArea);
  registry.select(remembered);
  if (source == nullptr) {
    raise(makeError(kSubsystem, gen::Open, 0, "DBAPP"));
    RuntimeError e = makeError(kSubsystem, gen::NoTable, 2001, "DBAPP");
    e.canDefault = true;
    raise(e);
    return {};
  }

  auto closeSource = [&] {
    registry.select(sourceArea);
    closeCurrent();
    registry.select(remembered);
  };
  try {
    const bool byRecord = record.isNumber();
    const int64_t limit = next.isNumber() ? static_cast<int64_t>(next.asDouble()) : 0;
    if (byRecord) {
      source->goToRecord(static_cast<uint32_t>(std::max(0.0, record.asDouble())));
    } else if (whileBlock.isNil() && rest.isNil() && next.isNil()) {
      source->goFirst();
    }
    int64_t visited = 0;
    while (!source->eof()) {
      if (whileBlock.isBlock() && !holds(whileBlock, registry, sourceArea, remembered)) break;
      if (!forBlock.isBlock() || holds(forBlock, registry, sourceArea, remembered))
        transferRecord(*source, *dest, fieldNames);
      ++visited;
      if ((limit > 0 && visited >= limit) || byRecord) break;
      if (!source->skipBy(1)) break;
    }
  } catch (...) {
    closeSource();
    throw;
  }
  closeSource();
  return {};
}

}  // namespace talvor
