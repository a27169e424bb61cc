// The import's progress dialog: "Importing SAP Data", one read-only text control
// bound to the public variable CMSG.
#pragma once

#include <string>

namespace talvor {

struct ProgressDialog {
  int dialog = 0;
  int textControl = 0;
};

// Sets CMSG to "Please Wait..", creates the dialog (rows 6-13, columns 10-68) and
// its text control (row 1, column 3, 180 x 12 pixels), activates it modelessly,
// sets the wait cursor and pumps messages.
ProgressDialog openProgressDialog();

// Shows a progress message: CMSG := message, refresh the control, SYSREFRESH().
void showProgress(const std::string& message, int textControl);

// Ends the dialog (close request and message pump). The cursor is left as it is.
void closeProgressDialog(const ProgressDialog& dialog);

}  // namespace talvor
