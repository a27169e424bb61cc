// talvor-import: refreshes the quoting application's tables in the current
// directory from the SAP exports found there. Arguments are ignored.
#include <cstdio>
#include <exception>

#include "app/error_handler.h"
#include "app/impmain.h"
#include "services/error.h"
#include "services/value.h"

int main(int argc, char** argv) {
  using namespace talvor;
  ERRORSYS();
  try {
    IMPMAIN(argc > 1 ? Value::text(argv[1]) : Value());
  } catch (const ProgramExit& exit) {
    return exit.code;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "talvor-import: %s\n", e.what());
    return 1;
  }
  return 0;
}
