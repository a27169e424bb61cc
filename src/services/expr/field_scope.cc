#include "services/expr/field_scope.h"

namespace talvor {

namespace {
FieldScope* installed = nullptr;
}

FieldScope* fieldScope() { return installed; }
void setFieldScope(FieldScope* scope) { installed = scope; }

}  // namespace talvor
