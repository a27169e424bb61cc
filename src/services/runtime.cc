#include "services/runtime.h"

#include "services/text.h"

namespace talvor {

void Runtime::setPublic(const std::string& name, Value v) { publics[upperAscii(name)] = std::move(v); }

const Value* Runtime::findPublic(const std::string& name) const {
  auto it = publics.find(upperAscii(name));
  return it == publics.end() ? nullptr : &it->second;
}

void Runtime::reset() {
  while (!components_.empty()) components_.pop_back();
  index_.clear();
  settings = Settings{};
  publics.clear();
  netErr = false;
  errorHandler = nullptr;
  fatalHook = nullptr;
  procStack.clear();
}

Runtime::~Runtime() {
  while (!components_.empty()) components_.pop_back();
}

Runtime& rt() {
  static Runtime runtime;
  return runtime;
}

ProcScope::ProcScope(std::string name, int line) {
  rt().procStack.push_back(ProcFrame{std::move(name), line, {}});
}

ProcScope::~ProcScope() {
  if (!rt().procStack.empty()) rt().procStack.pop_back();
}

void ProcScope::setLine(int line) {
  if (!rt().procStack.empty()) rt().procStack.back().line = line;
}

void ProcScope::variable(std::string name, std::function<Value()> read) {
  if (!rt().procStack.empty()) rt().procStack.back().variables.emplace_back(std::move(name), std::move(read));
}

}  // namespace talvor
