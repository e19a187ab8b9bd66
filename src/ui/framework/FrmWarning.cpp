#include "ui/framework/FrmWarning.h"

#include "ui/framework/ImageButton.h"

#include <QAction>
#include <QLabel>

void LabelOnBackgroundSet(QLabel* label)
{
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(labelPalette);
}

TfrmWarning::TfrmWarning(QWidget* parent)
    : TfrmBase(parent)
{
    resize(360, 170);
    setWindowTitle(QStringLiteral("Warning"));

    lblWarning = new QLabel(QStringLiteral("Warning Text"), this);
    lblWarning->setObjectName(QStringLiteral("lblWarning"));
    lblWarning->setGeometry(20, 46, 320, 72);
    lblWarning->setAlignment(Qt::AlignCenter);
    lblWarning->setWordWrap(true);
    LabelOnBackgroundSet(lblWarning);

    btnOk = new TImageButton(this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->SkinSet(QStringLiteral("button"));
    btnOk->setText(QStringLiteral("OK"));
    btnOk->setGeometry(135, 128, 90, 28);
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);

    miOk = new QAction(QStringLiteral("OK"), this);
    miOk->setShortcuts({ QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) });
    miCancel = new QAction(QStringLiteral("Cancel"), this);
    miCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(miOk);
    addAction(miCancel);
    connect(miOk, &QAction::triggered, this, &QDialog::accept);
    connect(miCancel, &QAction::triggered, this, &QDialog::accept);
}
