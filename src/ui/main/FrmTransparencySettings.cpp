#include "ui/main/FrmTransparencySettings.h"

#include "ui/framework/Appearance.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>

namespace {

std::function<void()>& AdministratorModeLeaveHook()
{
    static std::function<void()> hook;
    return hook;
}

} // namespace

void TfrmTransparencySettings::AdministratorModeLeaveHookSet(std::function<void()> hook)
{
    AdministratorModeLeaveHook() = std::move(hook);
}

TfrmTransparencySettings::TfrmTransparencySettings(QWidget* parent)
    : TfrmBase(parent)
{
    resize(300, 150);
    setWindowTitle(QStringLiteral("Transparency Settings"));

    lblTransparency = new QLabel(QStringLiteral("Transparency %:"), this);
    lblTransparency->setObjectName(QStringLiteral("lblTransparency"));
    lblTransparency->setGeometry(24, 56, 130, 22);
    LabelOnBackgroundSet(lblTransparency);

    cbxTransparency = new QComboBox(this);
    cbxTransparency->setObjectName(QStringLiteral("cbxTransparency"));
    for (const char* value : { "0", "5", "10", "15", "20", "25", "30", "40", "50", "60", "70", "80", "90" }) {
        cbxTransparency->addItem(QString::fromLatin1(value));
    }
    cbxTransparency->setMaxVisibleItems(20);
    cbxTransparency->setGeometry(160, 54, 112, 26);

    // The combo's own arrow is clipped away; this button takes its place.
    btnCombo = new TImageButton(this);
    btnCombo->setObjectName(QStringLiteral("btnCombo"));
    btnCombo->SkinSet(QStringLiteral("combo"));
    btnCombo->SideWidthSet(6);
    btnCombo->SideHeightSet(6);
    btnCombo->setGeometry(160 + 112 - 26, 55, 26, 24);
    connect(btnCombo, &TImageButton::clicked, cbxTransparency, &QComboBox::showPopup);

    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(54, 104, 90, 28));
    btnCancel = ButtonAdd(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), QRect(156, 104, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &TImageButton::clicked, this, &QDialog::reject);

    DialogKeysAdd(miOk, miCancel, false);

    m_remembered = Appearance().TransparencyGet();
    const int index = cbxTransparency->findText(QString::number(m_remembered));
    cbxTransparency->setCurrentIndex(index >= 0 ? index : 0);
    connect(cbxTransparency, &QComboBox::currentIndexChanged, this, &TfrmTransparencySettings::cbxTransparencyChange);
}

int TfrmTransparencySettings::SelectedTransparency() const
{
    return cbxTransparency->currentText().toInt();
}

void TfrmTransparencySettings::cbxTransparencyChange()
{
    ApplyTransparency(SelectedTransparency());
    Appearance().TransparencySet(SelectedTransparency());
}

void TfrmTransparencySettings::done(int result)
{
    Appearance().TransparencySet(result == QDialog::Accepted ? SelectedTransparency() : m_remembered);
    if (AdministratorModeLeaveHook()) {
        AdministratorModeLeaveHook()();
    }
    TfrmBase::done(result);
}

bool TfrmTransparencySettings::Execute()
{
    auto* window = new TfrmTransparencySettings();
    return window->exec() == QDialog::Accepted;
}
