#include "services/value.h"

namespace talvor {

char Value::typeLetter() const {
  switch (kind()) {
    case Kind::Nil: return 'U';
    case Kind::Text: return 'C';
    case Kind::Number: return 'N';
    case Kind::Date: return 'D';
    case Kind::Logical: return 'L';
    case Kind::Array: return 'A';
    case Kind::Block: return 'B';
  }
  return 'U';
}

}  // namespace talvor
