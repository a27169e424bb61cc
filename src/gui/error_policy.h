// How an error dialog is answered when nobody is there to answer it
// (TALVOR_ON_ERROR=ask|quit|default|retry).
#pragma once

#include "gui/ui_backend.h"

namespace talvor {

enum class ErrorPolicy { Ask, Quit, Default, Retry };

// The policy TALVOR_ON_ERROR names; Ask when it is unset or unknown.
ErrorPolicy errorPolicyFromEnvironment();

// The answer given without asking: the policy's choice when the dialog offers
// it, else Quit (Ask, too, quits when nobody can be asked).
ErrorChoice unattendedChoice(ErrorPolicy policy, const ErrorDialogSpec& dialogSpec);

}  // namespace talvor
