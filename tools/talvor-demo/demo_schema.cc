#include "demo_schema.h"

namespace talvor::demo {

namespace {

// The staging table: 93 character columns F1 to F93; the first 20 are wide
// enough for any column the exports carry, the rest hold short codes.
std::vector<FieldDef> stagingFields() {
  std::vector<FieldDef> fields;
  for (int i = 1; i <= 93; ++i) fields.push_back({"F" + std::to_string(i), 'C', i <= 20 ? 40 : 10, 0});
  return fields;
}

}  // namespace

const std::vector<TableDef>& demoTables() {
  static const std::vector<TableDef> tables = {
      {"zalf",
       {{"ALLOY", 'C', 10, 0}, {"TEMPER", 'C', 6, 0}, {"ZALF_RATE", 'N', 8, 3},
        {"ACTIVE", 'L', 1, 0}, {"VALID", 'D', 8, 0}}},
      {"metprice",
       {{"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0},
        {"METAL_PRIC", 'N', 10, 4}, {"UOM", 'C', 3, 0}}},
      {"metdisc",
       {{"CUSTOMER", 'N', 7, 0}, {"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0},
        {"DISCOUNT", 'N', 7, 2}, {"VALID_TO", 'D', 8, 0}, {"F1", 'C', 6, 0}, {"F2", 'C', 7, 0}}},
      {"mat",
       {{"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0}, {"MATL_NO", 'N', 8, 0},
        {"GRP_SUBGRP", 'C', 6, 0}, {"MATL_REF", 'C', 20, 0}, {"MPG", 'C', 3, 0},
        {"SECTION_NO", 'C', 10, 0}, {"LENGTH", 'N', 6, 0}, {"MATL_DESC", 'C', 40, 0},
        {"WT_PER_MTR", 'N', 9, 3}, {"PAINT_PERI", 'N', 8, 2}, {"ANOD_PERI", 'N', 8, 2},
        {"SURFACE_A", 'N', 8, 3}, {"WEIGHT", 'N', 9, 3}, {"MATL_GRP", 'C', 9, 0},
        {"SURFACE_CO", 'C', 4, 0}, {"BASE_UOM", 'C', 3, 0}, {"CREATED", 'D', 8, 0}}},
      {"pricesku",
       {{"MATL_NO", 'N', 8, 0}, {"METAL_PRIC", 'N', 10, 2}, {"MPG", 'C', 3, 0},
        {"BASE_UOM", 'C', 3, 0}, {"AREA", 'N', 8, 3}, {"VALID_FROM", 'D', 8, 0}}},
      {"finph",
       {{"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0}, {"FIN_DESC", 'C', 30, 0},
        {"FIN_PRICE", 'N', 10, 2}}},
      {"findisc",
       {{"CUSTOMER", 'N', 7, 0}, {"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0},
        {"DISCOUNT", 'N', 7, 2}, {"F1", 'C', 6, 0}, {"F2", 'C', 7, 0}}},
      {"skudisc", {{"CUSTOMER", 'N', 7, 0}, {"MATL_NO", 'N', 8, 0}, {"DISCOUNT", 'N', 7, 2}}},
      {"finsku", {{"MATL_NO", 'N', 8, 0}, {"FIN_PRICE", 'N', 10, 2}, {"FIN_UOM", 'C', 3, 0}}},
      {"metkit",
       {{"MATL_NO", 'N', 8, 0}, {"PRICE", 'N', 10, 2}, {"KIT_DESC", 'C', 30, 0}}},
      {"uomdisc",
       {{"CUSTOMER", 'N', 7, 0}, {"UOM", 'C', 3, 0}, {"DISCOUNT", 'N', 7, 2}, {"F1", 'C', 6, 0},
        {"F2", 'C', 7, 0}}},
      {"material",
       {{"PH1CODE", 'C', 2, 0}, {"PH2CODE", 'C', 3, 0}, {"PH3CODE", 'C', 4, 0},
        {"MATL_NO", 'N', 8, 0}, {"LOOKUP", 'C', 6, 0}, {"SECTOLD", 'C', 10, 0},
        {"MPG", 'C', 3, 0}, {"LENGTH", 'N', 6, 0}, {"DESC", 'C', 40, 0}, {"KG_M", 'N', 9, 3},
        {"PP", 'N', 10, 3}, {"AP", 'N', 10, 3}, {"SAPSECT", 'C', 10, 0}, {"WEIGHT", 'N', 9, 3},
        {"MATL_GRP", 'C', 9, 0}, {"SECTION_NO", 'C', 10, 0}, {"COLOURCODE", 'C', 4, 0},
        {"AREA", 'N', 8, 3}, {"UOM", 'C', 3, 0}, {"PRICESKU", 'N', 12, 2}, {"KIT", 'L', 1, 0},
        {"RATE_KG", 'N', 10, 4}, {"PRICEMILL", 'N', 12, 2}}},
      {"data1", stagingFields()},
  };
  return tables;
}

}  // namespace talvor::demo
