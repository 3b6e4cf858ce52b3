#include "jobs/storedcasechange.h"

#include "settings/settingsstore.h"

CaseChange StoredCaseChange(const TableRef &table, const QStringList &fields,
                            std::optional<CaseMode> mode)
{
    return CaseChange{table,
                      fields,
                      mode,
                      SettingsStore::ExceptionWords(),
                      SettingsStore::NameRules(),
                      SettingsStore::LeaveMixedCase()};
}
