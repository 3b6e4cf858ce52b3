// The change a user asks for (table, fields, mode) with what the settings add to it as they are
// stored at that moment: the word exceptions, the name rules' option and the option to leave
// mixed-case values as written. The windows and the
// command line both build the change of a run or a preview here, so that an option stored in the
// settings reaches every job the same way.
#pragma once

#include "jobs/casechange.h"

CaseChange StoredCaseChange(const TableRef &table, const QStringList &fields,
                            std::optional<CaseMode> mode);
