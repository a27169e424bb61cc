// The material master derivation: one MATERIAL record per undeleted MAT record,
// fields copied and derived, the price taken from the first of PRICESKU (by
// material number), METKIT (by material number) and METPRICE (by the three
// product-hierarchy codes) that has the material. MATERIAL, MAT, PRICESKU, METKIT
// and METPRICE are open under their aliases, the three price tables with their
// index controlling.
#pragma once

namespace talvor {

void deriveMaterial();

}  // namespace talvor
