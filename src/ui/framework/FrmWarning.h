#pragma once

#include "ui/framework/FrmBase.h"

class QAction;
class TImageButton;

// Gives a label the white of the texts that lie on the user's background, so that it takes the
// user's text colour.
void LabelOnBackgroundSet(QLabel* label);
// Gives the links of a rich-text label the colour; the underline marks them.
void LabelLinkColorSet(QLabel* label, const QColor& color);

// The message window: a text and "OK"; Enter and Esc both close it with OK.
class TfrmWarning : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmWarning(QWidget* parent = nullptr);

    QLabel* lblWarning = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;
};
