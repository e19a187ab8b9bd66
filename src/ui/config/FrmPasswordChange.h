#pragma once

#include "ui/framework/FrmBase.h"

class QAction;
class TImageButton;
class TOptions;

// Changes the administrator password: the old one, then the new one twice. The new password is
// stored at once. Enter is "OK", Esc "Cancel".
class TfrmPasswordChange : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmPasswordChange(TOptions& options, QWidget* parent = nullptr);

    QLineEdit* edOldPassword = nullptr;
    QLineEdit* edNewPassword = nullptr;
    QLineEdit* edConfirmPassword = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QLabel* lblSavePasswordOnline = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

    void btnOkClick();

private:
    TOptions& m_options;
};
