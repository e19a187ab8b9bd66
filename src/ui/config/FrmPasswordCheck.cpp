#include "ui/config/FrmPasswordCheck.h"

#include "ui/config/ConfigControls.h"
#include "ui/framework/ImageButton.h"

#include "storage/Options.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

TfrmPasswordCheck::TfrmPasswordCheck(TOptions& options, QWidget* parent)
    : TfrmBase(parent)
    , m_options(options)
{
    resize(380, 200);
    setWindowTitle(QStringLiteral("Enter Password"));
    lblDescription = ConfigLabelAdd(this, QStringLiteral("lblDescription"),
        QStringLiteral("Please enter your Administrator password to continue"), QRect(20, 44, 340, 36));
    lblPassword
        = ConfigLabelAdd(this, QStringLiteral("lblPassword"), QStringLiteral("Password:"), QRect(20, 90, 90, 22));
    edPassword = ConfigEditAdd(this, QStringLiteral("edPassword"), QRect(116, 88, 240, 24), true);
    lblForgotPassword = ConfigLinkAdd(this, QStringLiteral("lblForgotPassword"), QStringLiteral("Forgot Password"),
        QRect(20, 162, 140, 22), QStringLiteral("/login"));
    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(170, 158, 90, 28));
    btnCancel = ButtonAdd(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), QRect(270, 158, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &TfrmPasswordCheck::btnOkClick);
    connect(btnCancel, &TImageButton::clicked, this, &QDialog::reject);
    DialogKeysAdd(miOk, miCancel, false);
    disconnect(miOk, &QAction::triggered, this, &QDialog::accept);
    connect(miOk, &QAction::triggered, this, &TfrmPasswordCheck::btnOkClick);
}

void TfrmPasswordCheck::btnOkClick()
{
    if (m_options.CheckPassword(edPassword->text().toStdString())) {
        accept();
        return;
    }
    ShowMessage(QStringLiteral("Invalid password"), QStringLiteral("Please Note"));
    edPassword->setFocus(Qt::OtherFocusReason);
}
