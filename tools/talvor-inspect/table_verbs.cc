#include "table_verbs.h"

#include <cstdio>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/dbf_area.h"
#include "rdd/db_commands.h"
#include "services/conversions.h"
#include "services/dates.h"
#include "services/runtime.h"

namespace talvor {

namespace {

// Opens the table read-only and shared; the first error stops the tool quietly.
DbfArea* openTable(const std::string& path) {
  std::string problem;
  rt().errorHandler = [&problem](RuntimeError& e) {
    if (problem.empty()) problem = e.messageLine();
    return ErrorAnswer{};
  };
  DBUSEAREA(Value::logical(false), Value::text("DBF"), Value::text(path), Value::text("INSPECTED"), Value::logical(true),
            Value::logical(true));
  auto* area = dynamic_cast<DbfArea*>(currentArea());
  if (!area) {
    std::fprintf(stderr, "talvor-inspect: %s is not a valid table%s%s\n", path.c_str(), problem.empty() ? "" : ": ",
                 problem.c_str());
  }
  return area;
}

std::string display(const Value& v) {
  switch (v.kind()) {
    case Kind::Text: return v.asText();
    case Kind::Number: return formatNumberDefault(v.asNumber());
    case Kind::Date: return dayToDigits(v.asDay());
    case Kind::Logical: return v.asLogical() ? "T" : "F";
    default: return "";
  }
}

std::string csvField(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

int runTableHeader(const std::string& path, std::ostream& out) {
  DbfArea* a = openTable(path);
  if (!a) return 2;
  const dbf::Header& h = a->header();
  char version[8];
  std::snprintf(version, sizeof version, "0x%02X", h.version);
  out << "version        " << version << "\n"
      << "last update    " << 1900 + h.year << "-" << int(h.month) << "-" << int(h.day) << "\n"
      << "header count   " << h.recordCount << "\n"
      << "records        " << a->countRecords() << "\n"
      << "header length  " << h.headerLength << "\n"
      << "record length  " << a->recordLength() << "\n"
      << "fields         " << a->countFields() << "\n"
      << "memo           " << (a->hasMemo() ? "yes" : "no") << "\n"
      << "code page      " << int(h.codePage) << "\n";
  return 0;
}

int runTableStruct(const std::string& path, std::ostream& out) {
  DbfArea* a = openTable(path);
  if (!a) return 2;
  for (const auto& f : a->fields()) {
    char line[80];
    std::snprintf(line, sizeof line, "%-10s %c %5u %3u\n", f.name.c_str(), f.reportedType(), f.length, f.decimals);
    out << line;
  }
  return 0;
}

int runTableCount(const std::string& path, std::ostream& out) {
  DbfArea* a = openTable(path);
  if (!a) return 2;
  out << a->countRecords() << "\n";
  return 0;
}

int runTableRows(const std::string& path, const RowOptions& options, std::ostream& out) {
  DbfArea* a = openTable(path);
  if (!a) return 2;
  const int fields = a->countFields();
  if (options.csv) {
    out << "RECNO,DELETED";
    for (const auto& f : a->fields()) out << "," << f.name;
    out << "\n";
  }
  long shown = 0;
  for (uint32_t r = 1; r <= a->countRecords() && (options.limit < 0 || shown < options.limit); ++r, ++shown) {
    a->goToRecord(r);
    bool deleted = false;
    a->readDeleted(deleted);
    if (options.csv) {
      out << r << "," << (deleted ? "*" : "");
    } else {
      char head[24];
      std::snprintf(head, sizeof head, "%7u%s ", r, deleted ? "*" : " ");
      out << head;
    }
    for (int i = 1; i <= fields; ++i) {
      Value v;
      a->readField(i, v);
      out << (options.csv ? "," + csvField(display(v)) : (i > 1 ? " " : "") + display(v));
    }
    out << "\n";
  }
  return 0;
}

}  // namespace talvor
