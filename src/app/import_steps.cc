#include "app/import_steps.h"

#include <memory>
#include <string>

#include "app/dataimp.h"
#include "app/derive_material.h"
#include "app/encrypt_discounts.h"
#include "app/import_report.h"
#include "app/progress_dialog.h"
#include "gui/ui.h"
#include "rdd/db_commands.h"
#include "rdd/dbfntx/order_commands.h"
#include "rdd/delim_commands.h"
#include "rdd/table_ops.h"
#include "services/expr/expression.h"
#include "services/runtime.h"

namespace talvor {

namespace {

const Value kNil;
const Value kFalse = Value::logical(false);

class Steps {
 public:
  Steps(int textControl, const std::function<void(int)>& afterStep) : textControl_(textControl), afterStep_(afterStep) {}

  // Shows a step's message; the step before it is then done.
  void show(const char* message) {
    if (afterStep_ && shown_ > 0) afterStep_(shown_);
    ++shown_;
    showProgress(message, textControl_);
  }

  void openInFreeArea(const char* table) {
    DBSELECTAREA(Value::text("0"));
    openInCurrentArea(table);
  }
  void openInCurrentArea(const char* table) {
    DBUSEAREA(kFalse, kNil, Value::text(table), kNil, kNil, kFalse);
  }

  void appendDelimited(const char* file, const char* table) {
    StepReport& step = importReport().begin(file, table);
    __DBDELIM(kFalse, Value::text(file), kNil, Value::array(), kNil, kNil, kNil, kNil, kFalse);
    step.records = static_cast<int64_t>(LASTREC().asDouble());
  }

  void rawImport(const char* file, const char* table) {
    const Value* message = rt().findPublic("CMSG");
    DATAIMP(file, table, message && message->isText() ? message->asText() : std::string(), textControl_);
  }

  // DBCREATEINDEX with the key text and the matching key block.
  void index(const char* name, const char* keyText) {
    auto compiled = std::shared_ptr<CompiledExpr>(compileExpression(keyText).expr.release());
    Value block;
    if (compiled) block = Value::block([compiled](std::span<const Value>) { return compiled->eval(); });
    DBCREATEINDEX(Value::text(name), Value::text(keyText), block, kNil);
  }

  void pack() { __DBPACK(); }
  void top() { DBGOTOP(); }
  void pump() { SYSREFRESH(); }

 private:
  int textControl_;
  const std::function<void(int)>& afterStep_;
  int shown_ = 0;
};

}  // namespace

void runImportSteps(int textControl, const std::function<void(int)>& afterStep) {
  Steps s(textControl, afterStep);

  s.show("Processing TALVOR_ZALF.CSV - Please Wait...");
  s.openInFreeArea("zalf");
  __DBZAP();
  s.appendDelimited("talvor_zalf.csv", "zalf");

  s.show("Processing TALVOR_METAL_PH .CSV - Please Wait...");
  s.openInFreeArea("metprice");
  __DBZAP();
  s.appendDelimited("talvor_metal_ph.csv", "metprice");
  s.top();
  DBDELETE();
  s.pack();
  importReport().steps.back().records = static_cast<int64_t>(LASTREC().asDouble());
  DBCLOSEAREA();

  s.show("Processing TALVOR_METAL_PH_DISC.CSV - Please Wait...");
  s.rawImport("metdisc.txt", "metdisc");
  s.openInCurrentArea("metdisc");
  s.pump();
  s.top();
  s.pack();

  s.show("Processing TALVOR_MAT.CSV - Please Wait...");
  s.rawImport("mat.txt", "mat");
  s.openInFreeArea("mat");
  s.pump();

  s.show("Processing TALVOR_PRICE_SKU.CSV - Please Wait...");
  s.rawImport("pricesku.txt", "pricesku");
  s.openInFreeArea("pricesku");
  s.top();
  s.pack();
  s.index("pricesku", "str(matl_no,6)");

  s.show("Processing TALVOR_FIN_PH.CSV - Please Wait...");
  s.rawImport("finph.txt", "finph");
  s.openInFreeArea("finph");
  s.pack();
  s.index("finph", "ph1 + ph2 + ph3");

  const struct {
    const char* message;
    const char* file;
    const char* table;
  } discountSteps[] = {
      {"Processing TALVOR_FIN_PH_DISC.CSV - Please Wait...", "findisc.txt", "findisc"},
      {"Processing TALVOR_METAL_SKU_DISC.CSV - Please Wait...", "skudisc.txt", "skudisc"},
      {"Processing TALVOR_FIN_SKU.CSV - Please Wait...", "finsku.txt", "finsku"},
  };
  for (const auto& d : discountSteps) {
    s.show(d.message);
    s.rawImport(d.file, d.table);
    s.openInCurrentArea(d.table);
    s.pump();
    s.top();
    s.pack();
  }

  s.show("Processing TALVOR_METAL_KIT.CSV - Please Wait...");
  s.openInFreeArea("metkit");
  __DBZAP();
  s.appendDelimited("talvor_metal_kit.csv", "metkit");
  s.index("metkit", "str(matl_no,6)");
  ORDLISTCLEAR();
  ORDLISTADD(Value::text("metkit"));

  s.show("Processing TALVOR_ZUOM_DISC.CSV - Please Wait...");
  s.openInFreeArea("uomdisc");
  __DBZAP();
  s.appendDelimited("talvor_zuom_disc.csv", "uomdisc");

  s.show("Processing METPRICE.DBF - Please Wait...");
  s.openInCurrentArea("metprice");
  s.index("metprice", "ph1+ph2+ph3");

  s.show("Processing MATERIAL.DBF - Please Wait...");
  s.openInFreeArea("material");
  __DBZAP();
  deriveMaterial();
  {
    StepReport& step = importReport().begin("mat, pricesku, metkit, metprice", "material");
    step.records = static_cast<int64_t>(LASTREC().asDouble());
  }
  DBCLOSEALL();

  s.show("Encrypting Data - Please Wait...");
  encryptDiscounts();
}

}  // namespace talvor
