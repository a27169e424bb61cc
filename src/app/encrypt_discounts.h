// The discount encryption: in metdisc, findisc and uomdisc every record's customer
// number and discount are turned into fixed-width text, encrypted with the key
// "Wendal" into F1 and F2, and the numeric fields are set to 0.
#pragma once

#include <string>

namespace talvor {

// Encrypts one discount table (opened exclusively in a free area, then closed).
void encryptDiscountTable(const std::string& table);
// The import's last step: metdisc, findisc and uomdisc in this order.
void encryptDiscounts();

}  // namespace talvor
