#include "app/error_log.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "app/system_info.h"
#include "gui/ui.h"
#include "services/runtime.h"

namespace talvor {

namespace {

constexpr std::size_t kMaxStackLines = 72;
constexpr std::size_t kMaxOrders = 15;
constexpr std::size_t kMaxRelations = 8;

void heading(std::string& out, const std::string& title) {
  if (!out.empty()) out += "\n";
  out += title + "\n" + std::string(title.size(), '=') + "\n";
}

void line(std::string& out, const std::string& text) { out += "   " + text + "\n"; }

std::string twoDigits(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n % 100);
  return buf;
}

// A date shown in the run's date format ("dd/mm/yy", ...); blanks for an empty date.
std::string formatDate(int year, int month, int day, bool empty) {
  const std::string& format = rt().settings.dateFormat;
  std::string out;
  for (std::size_t i = 0; i < format.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
    std::size_t run = 1;
    while (i + run < format.size() &&
           std::tolower(static_cast<unsigned char>(format[i + run])) == c)
      ++run;
    if (c == 'd' || c == 'm' || c == 'y') {
      std::string digits;
      if (c == 'd') digits = twoDigits(day);
      if (c == 'm') digits = twoDigits(month);
      if (c == 'y') digits = run >= 4 ? std::to_string(10000 + year).substr(1) : twoDigits(year);
      out += empty ? std::string(digits.size(), ' ') : digits;
    } else {
      out.append(run, format[i]);
    }
    i += run;
  }
  return out;
}

// Day numbers count as Julian day numbers.
std::string formatDayNumber(int64_t dayNumber) {
  if (dayNumber <= 0) return formatDate(0, 0, 0, true);
  int64_t a = dayNumber + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  const int day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  const int month = static_cast<int>(m + 3 - 12 * (m / 10));
  const int year = static_cast<int>(100 * b + d - 4800 + m / 10);
  return formatDate(year, month, day, false);
}

std::string nowText() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return formatDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, false) + ", " + time;
}

std::string durationText(double seconds) {
  const long total = static_cast<long>(seconds);
  return std::to_string(total / 3600) + " hours " + std::to_string(total / 60 % 60) + " mins " +
         std::to_string(total % 60) + " secs";
}

std::string typedValue(const Value& v) {
  return std::string(1, v.typeLetter()) + "   " + reportValueText(v);
}

std::string logical(bool b) { return b ? ".T." : ".F."; }

void applicationSection(std::string& out, const RuntimeError& error) {
  const ProcessInfo info = processInfo();
  heading(out, "Application");
  line(out, "Path and name: " + info.executable + " (" + std::to_string(info.bits) + " bits)");
  line(out, "Size: " + formatFileSize(info.size < 0 ? 0 : info.size));
  line(out, "Time from start: " + durationText(info.secondsRunning));
  line(out, "Error occurred at: " + nowText());
  line(out, "Error description: " + error.messageLine());
  if (error.args.empty()) return;
  line(out, "Args:");
  for (std::size_t i = 0; i < error.args.size(); ++i) {
    char number[24];
    std::snprintf(number, sizeof number, "%4zu", i + 1);
    out += std::string("     [") + number + "] = " + typedValue(error.args[i]) + "\n";
  }
}

void variablesSection(std::string& out) {
  heading(out, "Variables in use");
  const auto& stack = rt().procStack;
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    line(out, "Procedure " + it->name + "(" + std::to_string(it->line) + ")");
    for (const auto& [name, read] : it->variables)
      out += "      " + name + " = " + typedValue(read ? read() : Value()) + "\n";
  }
}

void driversSection(std::string& out) {
  heading(out, "Linked RDDs");
  const auto& source = engineReportSource();
  if (!source.linkedDrivers) return;
  for (const auto& name : source.linkedDrivers()) line(out, name);
}

void databasesSection(std::string& out) {
  heading(out, "DataBases in use");
  const auto& source = engineReportSource();
  if (!source.areasInUse) return;
  for (const AreaReport& a : source.areasInUse()) {
    if (a.area < 1 || a.area > 255) continue;
    line(out, std::to_string(a.area) + ": " + (a.current ? "=> " : "   ") + a.alias +
                  "   RDD: " + a.driver + "   Record: " + std::to_string(a.recNo) + " of " +
                  std::to_string(a.recCount) + "   Bof: " + logical(a.bof) +
                  "   Eof: " + logical(a.eof));
    for (std::size_t i = 0; i < a.orders.size() && i < kMaxOrders; ++i) {
      const OrderReport& o = a.orders[i];
      out += std::string("        ") + (o.controlling ? "=> " : "   ") + std::to_string(i + 1) +
             ": " + o.key + "   Tag: " + o.tag + "\n";
    }
    for (std::size_t i = 0; i < a.relations.size() && i < kMaxRelations; ++i)
      out += "        Relation " + std::to_string(i + 1) + ": " + a.relations[i] + "\n";
  }
}

void classesSection(std::string& out) {
  heading(out, "Classes in use:");
  for (const auto& name : ui().classesInUse()) line(out, name);
}

void memorySection(std::string& out) {
  const ProcessInfo info = processInfo();
  heading(out, "Memory Analysis");
  line(out, "0 Static variables");
  line(out, "Dynamic memory consume:");
  line(out, "   Actual  Value: " + std::to_string(info.memoryBytes < 0 ? 0 : info.memoryBytes) +
                " bytes");
  line(out, "   Highest Value: " +
                std::to_string(info.peakMemoryBytes < 0 ? 0 : info.peakMemoryBytes) + " bytes");
}

}  // namespace

EngineReportSource& engineReportSource() { return rt().component<EngineReportSource>(); }

std::vector<std::string> stackCallLines() {
  std::vector<std::string> lines;
  const auto& stack = rt().procStack;
  for (auto it = stack.rbegin(); it != stack.rend() && lines.size() < kMaxStackLines; ++it)
    lines.push_back("Called from " + it->name + "(" + std::to_string(it->line) + ")");
  return lines;
}

std::string formatFileSize(int64_t bytes) {
  constexpr const char* kPicture = "9,999,999";
  if (bytes < 0 || bytes > 9999999) return std::string(9, '*') + " bytes";
  std::string digits = std::to_string(bytes);
  std::string out(9, ' ');
  // Fill the picture from the right; a comma shows only with a digit before it.
  int d = static_cast<int>(digits.size()) - 1;
  for (int p = 8; p >= 0 && d >= 0; --p) {
    if (kPicture[p] == ',') {
      out[static_cast<std::size_t>(p)] = ',';
      continue;
    }
    out[static_cast<std::size_t>(p)] = digits[static_cast<std::size_t>(d--)];
  }
  return out + " bytes";
}

std::string reportValueText(const Value& v) {
  switch (v.kind()) {
    case Kind::Nil: return "NIL";
    case Kind::Text: return v.asText();
    case Kind::Number: {
      const Number& n = v.asNumber();
      if (!n.isDouble) return std::to_string(n.whole);
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", n.decimals < 0 ? 0 : n.decimals, n.real);
      return buf;
    }
    case Kind::Date: return formatDayNumber(v.asDay());
    case Kind::Logical: return logical(v.asLogical());
    case Kind::Array: return "{ Array of " + std::to_string(v.asArray().size()) + " }";
    case Kind::Block: return "{|| ... }";
  }
  return "";
}

std::string composeErrorLog(const RuntimeError& error) {
  std::string out;
  applicationSection(out, error);
  heading(out, "Stack Calls");
  for (const auto& l : stackCallLines()) line(out, l);
  heading(out, "System");
  for (const auto& l : systemDescription()) line(out, l);
  variablesSection(out);
  driversSection(out);
  databasesSection(out);
  classesSection(out);
  memorySection(out);
  return out;
}

bool writeErrorLog(const RuntimeError& error, const std::string& path) {
  const std::string text = composeErrorLog(error);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  return !file.fail();
}

}  // namespace talvor
