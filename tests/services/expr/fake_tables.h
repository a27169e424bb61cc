// A tiny in-memory set of work areas for evaluator tests: each area has an alias,
// typed fields and records of values; one area is current.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "services/expr/field_scope.h"
#include "services/text.h"
#include "services/value.h"

namespace talvor::testing {

struct FakeField {
  std::string name;  // upper case
};

struct FakeArea {
  int number = 0;
  std::string alias;
  std::vector<FakeField> fields;
  std::vector<std::vector<Value>> records;
  std::vector<bool> deletedFlags;
  int recno = 1;
  uint64_t serial = 1;
};

class FakeTables : public FieldScope {
 public:
  std::vector<FakeArea> areas;
  int current = 1;
  int fieldIndexCalls = 0;

  FakeArea& add(int number, std::string alias, std::vector<std::string> fieldNames) {
    FakeArea a;
    a.number = number;
    a.alias = std::move(alias);
    for (auto& n : fieldNames) a.fields.push_back({upperAscii(n)});
    areas.push_back(std::move(a));
    return areas.back();
  }
  FakeArea* find(int number) {
    for (auto& a : areas)
      if (a.number == number) return &a;
    return nullptr;
  }

  int areaOf(std::string_view alias) override {
    if (alias.empty()) return find(current) ? current : 0;
    for (auto& a : areas)
      if (equalsIgnoreCase(a.alias, alias)) return a.number;
    return 0;
  }
  int fieldIndex(int area, std::string_view name) override {
    ++fieldIndexCalls;
    FakeArea* a = find(area);
    if (!a) return 0;
    for (std::size_t i = 0; i < a->fields.size(); ++i)
      if (a->fields[i].name == name) return static_cast<int>(i) + 1;
    return 0;
  }
  Value readField(int area, int index) override {
    FakeArea* a = find(area);
    return a->records.at(a->recno - 1).at(index - 1);
  }
  int currentArea() override { return current; }
  Value recno(int area) override { return Value::integer(find(area)->recno, 7); }
  bool deleted(int area) override {
    FakeArea* a = find(area);
    return a->recno <= static_cast<int>(a->deletedFlags.size()) && a->deletedFlags[a->recno - 1];
  }
  uint64_t tableSerial(int area) override {
    FakeArea* a = find(area);
    return a ? a->serial : 0;
  }
};

}  // namespace talvor::testing
