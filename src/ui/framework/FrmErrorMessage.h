#pragma once

#include "ui/framework/FrmBase.h"

class QAction;
class TImageButton;

// The window an unhandled error ends in: an apology, a link to the contact page, and a button
// that copies the error's message. The message itself is not shown.
class TfrmErrorMessage : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmErrorMessage(QWidget* parent = nullptr);

    // Keeps `text` as ErrorText, titles the window "Application Error" and shows it modally.
    void ErrorShow(const QString& text);

    QString ErrorText;

    QLabel* lblDescription = nullptr;
    QLabel* lblRegister = nullptr;
    TImageButton* btnCopyErrorToClipboard = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

    void btnCopyErrorToClipboardClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RegisterLinkPlace();
};
