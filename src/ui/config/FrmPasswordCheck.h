#pragma once

#include "ui/framework/FrmBase.h"

class QAction;
class TImageButton;
class TOptions;

// Asks for the administrator password before a command goes on. "OK" closes it only for the
// right password; Enter is "OK", Esc "Cancel".
class TfrmPasswordCheck : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmPasswordCheck(TOptions& options, QWidget* parent = nullptr);

    QLabel* lblDescription = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* edPassword = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QLabel* lblForgotPassword = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

    void btnOkClick();

private:
    TOptions& m_options;
};
