#include "ui/config/AdminPassword.h"

#include "ui/config/FrmPasswordChange.h"
#include "ui/config/FrmPasswordCheck.h"

#include "storage/Options.h"

bool AskAdminPassword(QWidget* owner)
{
    if (ProductEdition == 2) {
        return true;
    }
    auto* window = new TfrmPasswordCheck(OptionsInstance(), owner);
    return window->exec() == QDialog::Accepted;
}

bool SettingsGate(QWidget* owner)
{
    return ProductEdition > 1 || OptionsInstance().AllowUserToChangeSettings || AskAdminPassword(owner);
}

bool ChangePassword(TOptions& options, QWidget* owner)
{
    auto* window = new TfrmPasswordChange(options, owner);
    return window->exec() == QDialog::Accepted;
}
