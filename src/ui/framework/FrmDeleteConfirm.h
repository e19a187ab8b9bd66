#pragma once

#include "ui/framework/FrmBase.h"

class QAction;
class TImageButton;

// Asks before an entry leaves the time-limit list. Enter is "OK", Esc "Cancel".
class TfrmDeleteConfirm : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmDeleteConfirm(QWidget* parent = nullptr);

    // Fills the description's format with the entry's caption.
    void DescriptionSet(const QString& caption);

    QLabel* lblDescription = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;
};
