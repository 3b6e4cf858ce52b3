#include "jobs/storedcasechange.h"

#include "settings/settingsstore.h"

CaseChange StoredCaseChange(const TableRef &table, const QStringList &fields,
                            std::optional<CaseMode> mode)
{
    CaseChange change{table,
                      fields,
                      mode,
                      SettingsStore::ExceptionWords(),
                      SettingsStore::NameRules(),
                      SettingsStore::LeaveMixedCase()};
    change.language =
        CaseLanguageWithCode(SettingsStore::LanguageCode()).value_or(CaseLanguage::Any);
    return change;
}
