#include "ui/main/MonitoredListCommands.h"

#include "ui/main/MainDisplay.h"
#include "ui/main/MainWindowSeams.h"

#include "ui/framework/FrmBase.h"

#include "model/DataLocations.h"
#include "model/MonitoredObjects.h"
#include "model/TextHelpers.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "storage/Options.h"

namespace {

// Leaves the administrator mode however the command ends.
struct TAdminModeLeave
{
    TMonitoredListCommands* Commands;
    ~TAdminModeLeave()
    {
        Commands->AdminModeLeave();
    }
};

} // namespace

TMonitoredListCommands::TMonitoredListCommands(THooks hooks)
    : AddWizardRun(AddWizardExecute)
    , AdminPasswordAsk(AdminPasswordAskExecute)
    , DeleteConfirm(&TfrmBase::ConfirmDelete)
    , MessageShow(&TfrmBase::ShowMessage)
    , m_hooks(std::move(hooks))
{
}

bool TMonitoredListCommands::ChangeRightsCheck()
{
    const TOptions& options = OptionsInstance();
    if (ProductEdition > 1 || options.AllowUserToChangeSettings) {
        return true;
    }
    return AdminPasswordAsk && AdminPasswordAsk();
}

void TMonitoredListCommands::AdminModeLeave()
{
    OptionsInstance().AdminMode = false;
}

void TMonitoredListCommands::Add()
{
    if (!ChangeRightsCheck()) {
        return;
    }
    TAdminModeLeave leave { this };
    TMonitoredList result;
    if (AddWizardRun) {
        AddWizardRun(result);
    }
    ResultMerge(result);
}

void TMonitoredListCommands::Delete(const TMonitoredItem& chosen, const QString& caption)
{
    if (!ChangeRightsCheck()) {
        return;
    }
    if (!chosen.Active) {
        if (MessageShow) {
            MessageShow(QString::fromStdString(Format(
                            "\"%s\" will be removed from time-limit list after 4:00 AM", chosen.Caption.c_str())),
                QStringLiteral("Please Note"));
        }
        return;
    }
    TAdminModeLeave leave { this };
    if (!DeleteConfirm || !DeleteConfirm(caption)) {
        return;
    }
    TOptions& options = OptionsInstance();
    m_hooks.RowsRelease();
    const int mode = options.MonitoredItemDelete(&chosen);
    m_hooks.LoggerGet().MonitoredItemRemove(&chosen, mode);
    options.ListSave();
    m_hooks.ListShow();
}

void TMonitoredListCommands::FocusResultMerge(TMonitoredList& result)
{
    ResultMerge(result);
    AdminModeLeave();
}

void TMonitoredListCommands::ResultMerge(TMonitoredList& result)
{
    TOptions& options = OptionsInstance();
    // The merge may delete entries the rows point to.
    m_hooks.RowsRelease();
    AddResultMerge(
        result, options.MonitoredItems(), &m_hooks.LoggerGet().TodayItems(), DataLocations().ProgramFileName);
    options.ListSave();
    m_hooks.ListShow();
}
