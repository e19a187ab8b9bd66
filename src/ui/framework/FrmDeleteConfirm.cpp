#include "ui/framework/FrmDeleteConfirm.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"

#include "model/TextHelpers.h"

#include <QAction>
#include <QLabel>

TfrmDeleteConfirm::TfrmDeleteConfirm(QWidget* parent)
    : TfrmBase(parent)
{
    resize(380, 170);
    setWindowTitle(QStringLiteral("Confirm Delete"));

    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setGeometry(20, 46, 340, 72);
    lblDescription->setAlignment(Qt::AlignCenter);
    lblDescription->setWordWrap(true);
    LabelOnBackgroundSet(lblDescription);

    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(90, 128, 90, 28));
    btnCancel = ButtonAdd(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), QRect(200, 128, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &TImageButton::clicked, this, &QDialog::reject);

    DialogKeysAdd(miOk, miCancel, false);
}

void TfrmDeleteConfirm::DescriptionSet(const QString& caption)
{
    lblDescription->setText(QString::fromStdString(
        Format("Are you sure you want to delete \"%s\" from your time-limit list?", caption.toStdString().c_str())));
}
