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

    btnOk = new TImageButton(this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->SkinSet(QStringLiteral("button"));
    btnOk->setText(QStringLiteral("OK"));
    btnOk->setGeometry(90, 128, 90, 28);
    btnCancel = new TImageButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->SkinSet(QStringLiteral("button"));
    btnCancel->setText(QStringLiteral("Cancel"));
    btnCancel->setGeometry(200, 128, 90, 28);
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &TImageButton::clicked, this, &QDialog::reject);

    miOk = new QAction(QStringLiteral("OK"), this);
    miOk->setShortcuts({ QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) });
    miCancel = new QAction(QStringLiteral("Cancel"), this);
    miCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(miOk);
    addAction(miCancel);
    connect(miOk, &QAction::triggered, this, &QDialog::accept);
    connect(miCancel, &QAction::triggered, this, &QDialog::reject);
}

void TfrmDeleteConfirm::DescriptionSet(const QString& caption)
{
    lblDescription->setText(QString::fromStdString(
        Format("Are you sure you want to delete \"%s\" from your time-limit list?", caption.toStdString().c_str())));
}
