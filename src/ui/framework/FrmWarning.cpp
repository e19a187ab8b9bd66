#include "ui/framework/FrmWarning.h"

#include "ui/framework/ImageButton.h"

#include <QAction>
#include <QLabel>
#include <QRegularExpression>

void LabelOnBackgroundSet(QLabel* label)
{
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(labelPalette);
    LabelLinkColorSet(label, Qt::white);
}

void LabelLinkColorSet(QLabel* label, const QColor& color)
{
    QString text = label->text();
    if (!text.contains(QLatin1String("<a "))) {
        return;
    }
    // Rich text takes a link's colour from the desktop's palette when the text is set, not from
    // the label's; the link says its colour itself.
    static const QRegularExpression given(QStringLiteral(" style=\"color:#[0-9a-fA-F]{6}\""));
    text.remove(given);
    text.replace(QLatin1String("<a "), QStringLiteral("<a style=\"color:%1\" ").arg(color.name()));
    label->setText(text);
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
