#include "ui/config/FrmPasswordChange.h"

#include "ui/config/ConfigControls.h"
#include "ui/framework/ImageButton.h"

#include "storage/Options.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

TfrmPasswordChange::TfrmPasswordChange(TOptions& options, QWidget* parent)
    : TfrmBase(parent)
    , m_options(options)
{
    resize(380, 230);
    setWindowTitle(QStringLiteral("Change Password"));
    ConfigLabelAdd(this, QStringLiteral("lblOldPassword"), QStringLiteral("Old Password:"), QRect(20, 50, 140, 22));
    edOldPassword = ConfigEditAdd(this, QStringLiteral("edOldPassword"), QRect(166, 48, 190, 24), true);
    ConfigLabelAdd(this, QStringLiteral("lblNewPassword"), QStringLiteral("New Password:"), QRect(20, 86, 140, 22));
    edNewPassword = ConfigEditAdd(this, QStringLiteral("edNewPassword"), QRect(166, 84, 190, 24), true);
    ConfigLabelAdd(
        this, QStringLiteral("lblConfirmPassword"), QStringLiteral("Confirm Password:"), QRect(20, 122, 140, 22));
    edConfirmPassword = ConfigEditAdd(this, QStringLiteral("edConfirmPassword"), QRect(166, 120, 190, 24), true);
    setTabOrder(edOldPassword, edNewPassword);
    setTabOrder(edNewPassword, edConfirmPassword);
    lblSavePasswordOnline = ConfigLinkAdd(this, QStringLiteral("lblSavePasswordOnline"),
        QStringLiteral("Save Password Online"), QRect(20, 190, 150, 22), QStringLiteral("/login"));
    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(170, 186, 90, 28));
    btnCancel = ButtonAdd(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), QRect(270, 186, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &TfrmPasswordChange::btnOkClick);
    connect(btnCancel, &TImageButton::clicked, this, &QDialog::reject);
    DialogKeysAdd(miOk, miCancel, false);
    disconnect(miOk, &QAction::triggered, this, &QDialog::accept);
    connect(miOk, &QAction::triggered, this, &TfrmPasswordChange::btnOkClick);
    edOldPassword->setFocus();
}

void TfrmPasswordChange::btnOkClick()
{
    if (!m_options.CheckPassword(edOldPassword->text().toStdString())) {
        ShowMessage(QStringLiteral("Invalid old password"), QStringLiteral("Please Note"));
        edOldPassword->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (edNewPassword->text().compare(edConfirmPassword->text(), Qt::CaseInsensitive) != 0) {
        ShowMessage(QStringLiteral("Passwords do not match"), QStringLiteral("Please Note"));
        edNewPassword->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_options.SetPassword(edNewPassword->text().toStdString());
    m_options.OptionsSave();
    ShowMessage(QStringLiteral("Password was successfully changed"), QStringLiteral("Information"));
    accept();
}
