#include "app/derive_material.h"

#include <string>
#include <string_view>

#include "rdd/area_registry.h"
#include "rdd/dbf_area.h"
#include "rdd/db_commands.h"
#include "services/arith.h"
#include "services/conversions.h"
#include "services/functions.h"
#include "services/runtime.h"

namespace talvor {

namespace {

WorkArea* tableByAlias(const char* alias) {
  for (;;) {
    if (WorkArea* a = areaByAlias(alias)) return a;
    RuntimeError e = makeError("BASE", gen::NoAlias, 1002, alias);
    e.canRetry = true;
    if (raise(e).action != Answer::Retry) return nullptr;
  }
}

// A field of one table, looked up by name once. A missing field raises "Variable
// does not exist"; after a default answer it reads as NIL and takes no value.
class Field {
 public:
  Field(WorkArea* area, const char* name) : area_(area), name_(name) {
    while (area_ && (pos_ = area_->fieldPosition(name_)) == 0) {
      RuntimeError e = makeError("BASE", gen::NoVariable, 1003, name_);
      e.canRetry = true;
      if (raise(e).action != Answer::Retry) break;
    }
  }
  Value get() const {
    Value v;
    if (area_ && pos_ > 0) area_->readField(pos_, v);
    return v;
  }
  void put(const Value& v) const {
    if (area_ && pos_ > 0) area_->writeField(pos_, v);
  }
  // Stores a value and reads back what the field holds (cut, padded, rounded).
  Value store(const Value& v) const {
    put(v);
    return get();
  }
  // put(source.get()). Between two character fields of DBF tables the text goes
  // from record to record as bytes, cut or padded with blanks as a stored text
  // is; a failed read stores NIL, as the value path does.
  void copyFrom(const Field& source) const {
    DbfArea* const from = source.characterTable();
    DbfArea* const to = characterTable();
    if (!from || !to) return put(source.get());
    const uint8_t* text = from->fieldBytes(source.pos_);
    if (!text) return put(Value());
    to->storeText(pos_, std::string_view(reinterpret_cast<const char*>(text), from->field(source.pos_)->length));
  }

 private:
  // The field's table when the field is a character field of a DBF table.
  DbfArea* characterTable() const {
    if (!area_ || pos_ <= 0) return nullptr;
    DbfArea* const table = area_->asDbfTable();
    const dbf::FieldDef* const f = table ? table->field(pos_) : nullptr;
    return f && f->kind == dbf::FieldKind::Character ? table : nullptr;
  }

  WorkArea* area_;
  const char* name_;
  int pos_ = 0;
};

double number(const Value& v) { return v.isNumber() ? v.asDouble() : 0; }
std::string text(const Value& v) { return v.isText() ? v.asText() : std::string(); }

bool seek(WorkArea* area, const Value& key) {
  if (!area) return false;
  area->seekKey(key, /*softSeek=*/false, /*findLast=*/false);
  return area->found();
}

struct Tables {
  WorkArea* mat = tableByAlias("MAT");
  WorkArea* material = tableByAlias("MATERIAL");
  WorkArea* priceSku = tableByAlias("PRICESKU");
  WorkArea* metKit = tableByAlias("METKIT");
  WorkArea* metPrice = tableByAlias("METPRICE");
};

class Derivation {
 public:
  explicit Derivation(const Tables& t) : t_(t) {}

  void deriveOne() {
    Value v;
    t_.material->appendBlank(true);
    ph1Code_.copyFrom(matPh1_);
    ph2Code_.copyFrom(matPh2_);
    ph3Code_.copyFrom(matPh3_);
    matlNo_.put(matMatlNo_.get());
    lookup_.copyFrom(matGrp_);
    const Value ref = matRef_.get();
    const Value sectOld = sectOld_.store(SUBSTR(ref, Value::integer(1), minus(AT(Value::text("#"), ref), Value::integer(1))));
    mpg_.copyFrom(matMpg_);
    // MAT's record does not change during the step: fields read more than once
    // are read once.
    const Value section = matSection_.get();
    const Value length = matLength_.get();
    if (truthy(EMPTY(sectOld))) sectOld_.put(section);
    length_.put(length);
    desc_.copyFrom(matDesc_);
    kgM_.put(matWtPerMtr_.get());
    const Value surface = matSurface_.get();
    const Value divisor = number(surface) == 1 ? Value::integer(1) : divide(length, Value::integer(1000));
    pp_.put(divide(matPaint_.get(), divisor));
    ap_.put(divide(matAnod_.get(), divisor));
    sapSect_.put(section);
    weight_.put(matWeight_.get());
    matlGrp_.copyFrom(matMatlGrp_);
    sectionNo_.put(section);
    colourCode_.copyFrom(matSurfaceCo_);
    if (number(surface) > 0) area_.put(surface);
    uom_.copyFrom(matBaseUom_);
    derivePrice();
  }

 private:
  static bool truthy(const Value& v) { return v.isLogical() && v.asLogical(); }

  void derivePrice() {
    const Value matlNo = matlNo_.get();
    const Value key = STR(matlNo, Value::integer(6));
    if (seek(t_.priceSku, key)) {
      priceSku_.put(skuPrice_.get());
      if (truthy(EMPTY(mpg_.get()))) mpg_.put(skuMpg_.get());
      if (text(TRIM(skuBaseUom_.get())) == "M2") priceSku_.put(times(priceSku_.get(), skuArea_.get()));
      return;
    }
    if (seek(t_.metKit, key)) {
      priceSku_.put(kitPrice_.get());
      kit_.put(Value::logical(true));
      return;
    }
    const Value codes = plus(plus(ph1Code_.get(), ph2Code_.get()), ph3Code_.get());
    if (seek(t_.metPrice, codes)) {
      const Value rate = rateKg_.store(metPrice_.get());
      if (text(TRIM(metUom_.get())) == "KG")
        priceMill_.put(times(weight_.get(), rate));
      else
        priceMill_.put(times(area_.get(), rate));
    }
  }

  const Tables& t_;
  // MAT
  Field matPh1_{t_.mat, "PH1"}, matPh2_{t_.mat, "PH2"}, matPh3_{t_.mat, "PH3"};
  Field matMatlNo_{t_.mat, "MATL_NO"}, matGrp_{t_.mat, "GRP_SUBGRP"}, matRef_{t_.mat, "MATL_REF"};
  Field matMpg_{t_.mat, "MPG"}, matSection_{t_.mat, "SECTION_NO"}, matLength_{t_.mat, "LENGTH"};
  Field matDesc_{t_.mat, "MATL_DESC"}, matWtPerMtr_{t_.mat, "WT_PER_MTR"}, matPaint_{t_.mat, "PAINT_PERI"};
  Field matAnod_{t_.mat, "ANOD_PERI"}, matSurface_{t_.mat, "SURFACE_A"}, matWeight_{t_.mat, "WEIGHT"};
  Field matMatlGrp_{t_.mat, "MATL_GRP"}, matSurfaceCo_{t_.mat, "SURFACE_CO"}, matBaseUom_{t_.mat, "BASE_UOM"};
  // MATERIAL
  Field ph1Code_{t_.material, "PH1CODE"}, ph2Code_{t_.material, "PH2CODE"}, ph3Code_{t_.material, "PH3CODE"};
  Field matlNo_{t_.material, "MATL_NO"}, lookup_{t_.material, "LOOKUP"}, sectOld_{t_.material, "SECTOLD"};
  Field mpg_{t_.material, "MPG"}, length_{t_.material, "LENGTH"}, desc_{t_.material, "DESC"};
  Field kgM_{t_.material, "KG_M"}, pp_{t_.material, "PP"}, ap_{t_.material, "AP"};
  Field sapSect_{t_.material, "SAPSECT"}, weight_{t_.material, "WEIGHT"}, matlGrp_{t_.material, "MATL_GRP"};
  Field sectionNo_{t_.material, "SECTION_NO"}, colourCode_{t_.material, "COLOURCODE"};
  Field area_{t_.material, "AREA"}, uom_{t_.material, "UOM"}, priceSku_{t_.material, "PRICESKU"};
  Field kit_{t_.material, "KIT"}, rateKg_{t_.material, "RATE_KG"}, priceMill_{t_.material, "PRICEMILL"};
  // Price tables
  Field skuPrice_{t_.priceSku, "METAL_PRIC"}, skuMpg_{t_.priceSku, "MPG"};
  Field skuBaseUom_{t_.priceSku, "BASE_UOM"}, skuArea_{t_.priceSku, "AREA"};
  Field kitPrice_{t_.metKit, "PRICE"};
  Field metPrice_{t_.metPrice, "METAL_PRIC"}, metUom_{t_.metPrice, "UOM"};
};

}  // namespace

void deriveMaterial() {
  ProcScope scope("KORVEN", 1);
  const Tables tables;
  if (!tables.mat || !tables.material) return;
  Derivation derivation(tables);
  tables.mat->goFirst();
  while (!tables.mat->eof()) {
    derivation.deriveOne();
    tables.mat->skipBy(1);
  }
}

}  // namespace talvor
