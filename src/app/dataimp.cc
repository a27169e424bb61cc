#include "app/dataimp.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/import_report.h"
#include "app/progress_dialog.h"
#include "app/raw_reader.h"
#include "rdd/area_registry.h"
#include "rdd/dbf_area.h"
#include "rdd/db_commands.h"
#include "rdd/file_commands.h"
#include "rdd/table_ops.h"
#include "services/conversions.h"
#include "services/functions.h"
#include "services/runtime.h"
#include "util/record_helpers.h"

namespace talvor {

namespace {

const Value kNil;
const Value kFalse = Value::logical(false);

bool truthy(const Value& v) { return v.isLogical() && v.asLogical(); }
int selection() { return static_cast<int>(SELECT().asDouble()); }
void selectArea(int n) { DBSELECTAREA(Value::integer(n)); }

// Selects a table by its alias. While the alias is bound the area number serves
// (the bindings do not change during a transfer); an unbound alias raises the
// alias error each time, as a lookup by name does.
class AliasSelector {
 public:
  explicit AliasSelector(std::string alias) : alias_(std::move(alias)) {
    area_ = static_cast<int>(SELECT(Value::text(alias_)).asDouble());
  }
  void select() const {
    if (area_ > 0)
      selectArea(area_);
    else
      DBSELECTAREA(Value::text(alias_));
  }

 private:
  std::string alias_;
  int area_ = 0;
};

void openInFreeArea(const std::string& table, const Value& alias) {
  DBSELECTAREA(Value::text("0"));
  DBUSEAREA(kFalse, kNil, Value::text(table), alias, kNil, kFalse);
}

// Writes the raw reader's rows into data1 (the current area), storing each
// column by its field name Fk. The positions of the names are looked up once.
// A character field of a DBF table takes the text straight into the record's
// bytes, cut or padded with blanks, as FIELDPUT leaves it; any other field goes
// through FIELDPUT itself.
class StagingSink : public RawRowSink {
 public:
  StagingSink(int textControl) : textControl_(textControl), positions_(kStagingColumns + 1, -1) {}

  // Nothing selects another area while a row is stored, so the current area is
  // found once a row.
  void appendRow() override {
    DBAPPEND();
    staging_ = currentArea();
    table_ = staging_ ? staging_->asDbfTable() : nullptr;
  }
  void storeField(int column, std::string_view text) override {
    int& pos = positions_[column];
    if (pos < 0) pos = static_cast<int>(FIELDPOS(Value::text("F" + std::to_string(column))).asDouble());
    if (pos > 0) {
      // FIELDPUT on the current area, whose field pos exists.
      if (!(table_ && table_->storeText(pos, text)) && staging_) staging_->writeField(pos, Value::text(text));
    } else {
      RuntimeError e = makeError("BASE", gen::NoVariable, 1003, "F" + std::to_string(column));
      e.canRetry = true;
      if (raise(e).action == Answer::Retry) {
        pos = -1;
        storeField(column, text);
      }
    }
  }
  void lineDone(int64_t lines) override {
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    uint64_t n = static_cast<uint64_t>(lines);
    do {
      *--p = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0);
    message_.assign(kLinePrefix);
    message_.append(p, static_cast<std::size_t>(end - p));
    showProgress(message_, textControl_);
  }

 private:
  static constexpr const char* kLinePrefix = "Records Added to DATA1 ";

  int textControl_;
  std::vector<int> positions_;
  std::string message_;
  WorkArea* staging_ = nullptr;  // the current area of the row being stored
  DbfArea* table_ = nullptr;     // the same as a DBF table, or null
};

void noteRawWarnings(const std::string& file, const Value& handle, const RawReadReport& r, uint64_t size,
                     StepReport& step) {
  if (handle.asDouble() < 0) {
    if (truthy(FILE(Value::text(file))))
      step.warnings.push_back("cannot be opened for reading and writing (OS error " +
                              std::to_string(static_cast<int>(FERROR().asDouble())) + "); the table is left empty");
    else
      step.warnings.push_back("missing; the table is left empty");
    return;
  }
  if (size == 0) {
    step.warnings.push_back("empty; the table is left empty");
    return;
  }
  if (r.stoppedAtControl) {
    step.warnings.push_back("reading stopped at byte code " + std::to_string(r.stopByte) + " on line " +
                            std::to_string(r.stopLine) + " (offset " + std::to_string(r.stopOffset) + "); " +
                            std::to_string(r.bytesUnread) + " bytes after it were not read");
  }
  if (r.readFailed) step.warnings.push_back("a read error ended the data early");
  if (r.linesOverColumns > 0) {
    step.warnings.push_back(std::to_string(r.linesOverColumns) + " line(s) with more than 93 columns (first: line " +
                            std::to_string(r.firstLineOverColumns) + "); the columns past 93 were dropped");
  }
}

// The raw reader: the export's bytes into data1, which is the current area.
void readIntoStaging(const std::string& file, int textControl, StepReport& step) {
  const Value handle = FOPEN(Value::text(file), Value::integer(2));
  File* f = fileOfHandle(static_cast<int>(handle.asDouble()));
  const uint64_t size = f ? static_cast<uint64_t>(f->size() > 0 ? f->size() : 0) : 0;
  BlockReader reader = [f](uint64_t offset, char* buf, std::size_t n) -> int64_t {
    return f ? f->readAt(offset, buf, n) : 0;
  };
  StagingSink sink(textControl);
  const RawReadReport report = readRawExport(reader, size, sink);
  if (f) FCLOSE(handle);
  noteRawWarnings(file, handle, report, size, step);
}

enum class Conversion { Number, Date, Text };

struct FieldType {
  int64_t position;
  Conversion conversion;
};

// The structure table's rows: record number (the field's position) and how the
// field's type letter converts the staging text.
std::vector<FieldType> readStructure() {
  std::vector<FieldType> rows;
  const Value typeField = FIELDPOS(Value::text("FIELD_TYPE"));
  DBGOTOP();
  while (!truthy(EOF_())) {
    const Value t = FIELDGET(typeField);
    const std::string letter = t.isText() ? t.asText() : std::string();
    const Conversion c = letter == "N" ? Conversion::Number : letter == "D" ? Conversion::Date : Conversion::Text;
    rows.push_back({static_cast<int64_t>(RECNO().asDouble()), c});
    DBSKIP();
  }
  return rows;
}

// Staging fields are wide and mostly blanks: the blanks are passed eight at a time.
std::string_view withoutTrailingBlanks(std::string_view text) {
  static constexpr char kBlanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  std::size_t end = text.size();
  while (end >= 8 && std::memcmp(text.data() + end - 8, kBlanks, 8) == 0) end -= 8;
  while (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

Value convert(Conversion c, std::string_view text) {
  switch (c) {
    case Conversion::Number: return Value::number(parseVal(text));
    case Conversion::Date: return Value::date(parseDate(text, rt().settings.dateFormat, rt().settings.epoch));
    case Conversion::Text: break;
  }
  return Value::text(text);
}

// The converted staging text stored straight into the target's record bytes
// where the target field takes it as its own encoding; false where FIELDPUT
// itself must run.
bool putDirect(DbfArea& target, int k, Conversion c, std::string_view text) {
  switch (c) {
    case Conversion::Number: return target.storeNumber(k, parseVal(text));
    case Conversion::Date: return target.storeDay(k, parseDate(text, rt().settings.dateFormat, rt().settings.epoch));
    case Conversion::Text: return target.storeText(k, text);
  }
  return false;
}

Value convertValue(Conversion c, const Value& text) {
  switch (c) {
    case Conversion::Number: return VAL(text);
    case Conversion::Date: return CTOD(text);
    case Conversion::Text: break;
  }
  return text;
}

// One field of the current staging row into the target, which is the current
// area: FIELDPUT(k, convert(TRIM(data1->FIELDGET(k)))), the staging and target
// work areas given. Staging text goes straight from the field to its conversion:
// once a field of the row has been read, the row's record bytes are loaded and a
// character field is taken from them. Anything that is not text takes the
// functions themselves, with data1 selected as the step reads it, so that TRIM
// raises its argument error there.
struct StagingRow {
  WorkArea* area;
  DbfArea* table;  // the same area as a DBF table, or null
  bool loaded;     // a field of the current row has been read
};

void transferField(const FieldType& f, StagingRow& staging, WorkArea* target, DbfArea* targetTable,
                   int stagingArea, const AliasSelector& targetSelector) {
  const int k = static_cast<int>(f.position);
  const bool targetHasField = target && k >= 1 && k <= target->countFields();
  Value converted;
  Value raw;
  bool direct = false;
  if (staging.area && k >= 1 && k <= staging.area->countFields()) {
    const dbf::FieldDef& sf = *staging.area->field(k);
    if (staging.loaded && staging.table && sf.kind == dbf::FieldKind::Character) {
      const auto* bytes = reinterpret_cast<const char*>(staging.table->recordBuffer() + sf.offset);
      const std::string_view text = withoutTrailingBlanks(std::string_view(bytes, sf.length));
      if (targetTable && targetHasField && putDirect(*targetTable, k, f.conversion, text)) return;
      converted = convert(f.conversion, text);
      direct = true;
    } else {
      staging.area->readField(k, raw);
      if (raw.isText()) staging.loaded = true;
    }
  }
  if (!direct && raw.isText()) {
    converted = convert(f.conversion, withoutTrailingBlanks(raw.asText()));
  } else if (!direct) {
    selectArea(stagingArea);
    const Value text = TRIM(raw);
    targetSelector.select();
    converted = convertValue(f.conversion, text);
  }
  if (targetHasField) target->writeField(k, converted);
}

void typedTransfer(const std::string& table, int stagingArea, StepReport& step) {
  const AliasSelector target(table);
  target.select();
  __DBCOPYXSTRUCT(Value::text("Data2"));
  openInFreeArea("Data2", kNil);
  const int structureArea = selection();
  const std::vector<FieldType> structure = readStructure();

  selectArea(stagingArea);
  DBGOTOP();
  DBSKIP(Value::integer(1));
  while (!truthy(EOF_())) {
    target.select();
    if (truthy(ADDREC(Value::integer(2))) && truthy(RECLOCK(Value::integer(2)))) {
      WorkArea* const stagingTable = areas().area(stagingArea);
      StagingRow staging{stagingTable, stagingTable ? stagingTable->asDbfTable() : nullptr, false};
      WorkArea* const targetArea = currentArea();
      DbfArea* const targetTable = targetArea ? targetArea->asDbfTable() : nullptr;
      for (const auto& f : structure) transferField(f, staging, targetArea, targetTable, stagingArea, target);
      target.select();
      DBUNLOCK();
    }
    selectArea(stagingArea);
    DBSKIP(Value::integer(1));
  }

  target.select();
  step.records = static_cast<int64_t>(LASTREC().asDouble());
  DBCLOSEAREA();
  selectArea(stagingArea);
  DBCLOSEAREA();
  selectArea(structureArea);
  DBCLOSEAREA();
}

}  // namespace

void DATAIMP(const std::string& file, const std::string& table, const std::string& message, int textControl) {
  ProcScope scope("DATAIMP", 1);
  scope.variable("CFILE", [file] { return Value::text(file); });
  scope.variable("CTABLE", [table] { return Value::text(table); });
  StepReport& step = importReport().begin(file, table);

  openInFreeArea(table, Value::text(table));
  __DBZAP();
  openInFreeArea("data1", kNil);
  const int stagingArea = selection();
  __DBZAP();
  readIntoStaging(file, textControl, step);
  typedTransfer(table, stagingArea, step);
}

}  // namespace talvor
