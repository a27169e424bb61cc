#include "rdd/delim_commands.h"

#include <string>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/dbf_area.h"
#include "rdd/delimited_text.h"
#include "rdd/file_system.h"
#include "rdd/file_names.h"
#include "services/conversions.h"
#include "services/dates.h"
#include "services/error.h"
#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

namespace {

constexpr char kSubsystem[] = "DELIM";

bool truthy(const Value& v) { return v.isLogical() && v.asLogical(); }

// ".txt" is added to a name without an extension.
std::string withTextExtension(const std::string& name) { return hasExtension(name) ? name : name + ".txt"; }

bool isBlankDelimiter(const Value& delimiter) {
  return delimiter.isText() && equalsIgnoreCase(delimiter.asText(), "BLANK");
}

// Opens the import file, raising "Open error" with retry and default; null when
// it stays unopened.
std::unique_ptr<File> openForImport(const std::string& name) {
  for (;;) {
    std::unique_ptr<File> f = fileSystem().open(name, fmode::Read | fmode::ShareDenyNone);
    if (f) return f;
    RuntimeError e = makeEngineError(kSubsystem, 1001, name, fileSystem().lastError());
    e.canRetry = true;
    e.canDefault = true;
    if (raise(e).action != Answer::Retry) return nullptr;
  }
}

void importLines(WorkArea& area, const std::string& name, char separator) {
  std::unique_ptr<File> file = openForImport(name);
  if (!file) return;
  std::vector<char> types;
  for (const auto& f : area.fields()) types.push_back(f.reportedType());
  DbfArea* const table = area.asDbfTable();
  TextLineReader reader(*file);
  std::string line;
  std::vector<std::string_view> columns;
  while (reader.next(line)) {
    splitColumns(line, separator, columns);
    const std::size_t n = std::min(columns.size(), types.size());
    rt().netErr = false;
    if (!area.appendBlank(true)) {
      rt().netErr = true;
      continue;
    }
    for (std::size_t j = 0; j < n; ++j) {
      const int k = static_cast<int>(j + 1);
      if (!(table && storeDelimited(*table, k, columns[j], types[j])))
        area.writeField(k, delimitedValue(columns[j], types[j]));
    }
  }
  file->close();
}

std::string exportText(const Value& v, char quote, bool quoted) {
  switch (v.kind()) {
    case Kind::Number: return allTrim(formatNumberDefault(v.asNumber()));
    case Kind::Date: return dayToDigits(v.asDay());
    case Kind::Logical: return v.asLogical() ? "T" : "F";
    case Kind::Text: {
      std::string s = v.asText();
      while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.pop_back();
      std::string out;
      if (quoted) out.push_back(quote);
      for (char c : s) {
        if (quoted && c == quote) out.push_back('\\');
        out.push_back(c);
      }
      if (quoted) out.push_back(quote);
      return out;
    }
    default: return std::string();
  }
}

// The positions of the fields to write: all, or those named in the list.
std::vector<int> exportFields(const WorkArea& area, const Value& fields) {
  std::vector<int> positions;
  if (fields.isArray() && !fields.asArray().empty()) {
    for (const Value& name : fields.asArray())
      if (name.isText())
        if (int pos = area.fieldPosition(upperAscii(name.asText()))) positions.push_back(pos);
  } else {
    for (int i = 1; i <= area.countFields(); ++i) positions.push_back(i);
  }
  return positions;
}

std::unique_ptr<File> createForExport(const std::string& name) {
  for (;;) {
    std::unique_ptr<File> f = fileSystem().create(name);
    if (f) return f;
    RuntimeError e = makeEngineError(kSubsystem, 1002, name, fileSystem().lastError());
    e.genCode = gen::Create;
    e.description = genericText(gen::Create);
    e.canRetry = true;
    e.canDefault = true;
    if (raise(e).action != Answer::Retry) return nullptr;
  }
}

bool holds(const Value& block) { return !block.isBlock() || truthy(block.call()); }

void exportRecords(WorkArea& area, const std::string& name, const Value& delimiter, const Value& fields,
                   const Value& forBlock, const Value& whileBlock, const Value& next, const Value& record,
                   const Value& rest) {
  std::unique_ptr<File> file = createForExport(name);
  if (!file) return;
  const bool blank = isBlankDelimiter(delimiter);
  const char separator = blank ? ' ' : ',';
  const char quote = !blank && delimiter.isText() && !delimiter.asText().empty() ? delimiter.asText()[0] : '"';
  const std::vector<int> positions = exportFields(area, fields);

  if (record.isNumber())
    area.goToIdentity(record);
  else if (!truthy(rest) && !whileBlock.isBlock() && !next.isNumber())
    area.goFirst();
  int64_t left = next.isNumber() ? static_cast<int64_t>(next.asDouble()) : -1;
  std::string out;
  uint64_t offset = 0;
  auto flush = [&] {
    if (!out.empty()) file->writeAt(offset, out.data(), out.size());
    offset += out.size();
    out.clear();
  };
  while (!area.bof() && !area.eof() && left != 0 && holds(whileBlock)) {
    if (holds(forBlock)) {
      bool first = true;
      for (int pos : positions) {
        Value v;
        area.readField(pos, v);
        const std::string text = exportText(v, quote, !blank);
        if (text.empty() && !v.isText()) continue;  // a value of another kind writes nothing
        if (!first) out.push_back(separator);
        out += text;
        first = false;
      }
      out += "\r\n";
      if (out.size() > (1u << 20)) flush();
    }
    if (left > 0) --left;
    if (record.isNumber()) break;
    area.skipBy(1);
  }
  out.push_back(static_cast<char>(26));
  flush();
  file->close();
}

}  // namespace

Value __DBDELIM(const Value& isExport, const Value& file, const Value& delimiter, const Value& fields,
                const Value& forBlock, const Value& whileBlock, const Value& next, const Value& record,
                const Value& rest) {
  WorkArea* area = currentArea();
  if (!area) {
    RuntimeError e = makeError("DBCMD", gen::NoTable, 2001, "__DBDELIM");
    e.canDefault = true;
    raise(e);
    return Value();
  }
  const std::string name = withTextExtension(file.isText() ? file.asText() : std::string());
  if (truthy(isExport))
    exportRecords(*area, name, delimiter, fields, forBlock, whileBlock, next, record, rest);
  else
    importLines(*area, name, isBlankDelimiter(delimiter) ? ' ' : ',');
  return Value();
}

}  // namespace talvor
