#include "ui/framework/FrmWarning.h"

#include "ui/framework/ImageButton.h"

#include <QAction>
#include <QLabel>

void LabelOnBackgroundSet(QLabel* label)
{
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::white);
    labelPalette.setColor(QPalette::Link, Qt::white);
    labelPalette.setColor(QPalette::LinkVisited, Qt::white);
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

    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(135, 128, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);

    DialogKeysAdd(miOk, miCancel, true);
}
