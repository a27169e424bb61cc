// The backend that shows nothing; error dialogs are answered by the policy.
#pragma once

#include "gui/error_policy.h"
#include "gui/ui_backend.h"

namespace talvor {

class NoneBackend final : public UiBackend {
 public:
  explicit NoneBackend(ErrorPolicy policy) : policy_(policy) {}
  ErrorChoice errorDialog(const ErrorDialogSpec& dialogSpec) override {
    return unattendedChoice(policy_, dialogSpec);
  }

 private:
  ErrorPolicy policy_;
};

}  // namespace talvor
