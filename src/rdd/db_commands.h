// The table engine's command functions: they act on the current work area, take
// and return Values, and raise the run-time errors of the table functions.
#pragma once

#include "services/value.h"

namespace talvor {

class WorkArea;

// The current table, or null after raising "Workarea not in use" (DBCMD/2001,
// default allowed) with the function's name.
WorkArea* requireTable(const char* function);

// Work areas, open and close.
Value DBSELECTAREA(const Value& area);
Value SELECT(const Value& alias = {});
Value ALIAS(const Value& n = {});
Value USED();
Value DBUSEAREA(const Value& newArea = {}, const Value& driver = {}, const Value& name = {},
                const Value& alias = {}, const Value& shared = {}, const Value& readOnly = {},
                const Value& codePage = {});
Value DBCLOSEAREA();
Value DBCLOSEALL();
Value NETERR(const Value& newValue = {});
Value __RDDSETDEFAULT(const Value& driver = {});

// Navigation and records.
Value DBGOTOP();
Value DBGOBOTTOM();
Value DBGOTO(const Value& n);
Value DBGOTO();  // no argument: "Argument error"
Value DBSKIP(const Value& n = {});
Value BOF();
Value EOF_();  // EOF is a macro of <cstdio>; EOF() in the language
Value FOUND();
Value DELETED();
Value RECNO();
Value LASTREC();
Value RECCOUNT();
Value DBAPPEND(const Value& unlockOthers = {});
Value DBDELETE();
Value DBRECALL();

// Fields.
Value FCOUNT();
Value FIELDGET(const Value& n);
Value FIELDPUT(const Value& n, const Value& v);
Value FIELDPOS(const Value& name);
Value FIELDNAME(const Value& n);
Value __DBLOCATE(const Value& forBlock, const Value& whileBlock = {}, const Value& next = {},
                 const Value& record = {}, const Value& rest = {});

// Locks and commit.
Value RLOCK();
Value LOCK();
Value FLOCK();
Value DBUNLOCK();
Value DBCOMMIT();
Value DBCOMMITALL();

// Sets (or with NIL clears) the filter of the current area: a code block.
Value DBSETFILTER(const Value& block);

}  // namespace talvor
