#include "ui/main/FrmReminderChange.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/main/ReminderRules.h"

#include "storage/Options.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>

namespace {

std::function<void(TfrmReminderChange*)>& ExecHook()
{
    static std::function<void(TfrmReminderChange*)> hook;
    return hook;
}

} // namespace

void TfrmReminderChange::ExecHookSet(std::function<void(TfrmReminderChange*)> hook)
{
    ExecHook() = std::move(hook);
}

TfrmReminderChange::TfrmReminderChange(TOptions& options, TDateTime now, QWidget* parent)
    : TfrmBase(parent)
    , m_options(options)
{
    resize(340, 190);
    setWindowTitle(QStringLiteral("Please change reminders"));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    lblWarningText = new QLabel(this);
    lblWarningText->setObjectName(QStringLiteral("lblWarningText"));
    lblWarningText->setGeometry(20, 46, 300, 44);
    lblWarningText->setAlignment(Qt::AlignCenter);
    lblWarningText->setWordWrap(true);
    LabelOnBackgroundSet(lblWarningText);
    // A no-break space keeps the count with its unit wherever the text wraps.
    lblWarningText->setText(QStringLiteral("You have not updated your reminders in %1\u00a0day(s)")
                                .arg(ReminderUnchangedDays(now, options.ReminderChangedDateTime)));

    lblRemindMe = new QLabel(QStringLiteral("Remind me:"), this);
    lblRemindMe->setObjectName(QStringLiteral("lblRemindMe"));
    lblRemindMe->setGeometry(40, 104, 100, 22);
    LabelOnBackgroundSet(lblRemindMe);

    cbxReminderChangeFrequency = new QComboBox(this);
    cbxReminderChangeFrequency->setObjectName(QStringLiteral("cbxReminderChangeFrequency"));
    for (const char* item : { "Never", "Daily", "Weekly", "Fortnightly", "Monthly" }) {
        cbxReminderChangeFrequency->addItem(QString::fromLatin1(item));
    }
    cbxReminderChangeFrequency->setGeometry(146, 102, 150, 26);
    btnCombo = new TImageButton(this);
    btnCombo->setObjectName(QStringLiteral("btnCombo"));
    btnCombo->SkinSet(QStringLiteral("combo"));
    btnCombo->SideWidthSet(6);
    btnCombo->SideHeightSet(6);
    btnCombo->setGeometry(146 + 150 - 26, 103, 26, 24);
    connect(btnCombo, &TImageButton::clicked, cbxReminderChangeFrequency, &QComboBox::showPopup);

    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(125, 146, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);
    DialogKeysAdd(miOk, miCancel, true);

    const int period = options.ReminderChangePeriod;
    cbxReminderChangeFrequency->setCurrentIndex(period >= 0 && period <= 4 ? period : 0);
}

void TfrmReminderChange::done(int result)
{
    const int index = cbxReminderChangeFrequency->currentIndex();
    if (index >= 0) {
        m_options.ReminderChangePeriod = static_cast<uint8_t>(index);
    }
    TfrmBase::done(result);
}

void TfrmReminderChange::Execute(TOptions& options)
{
    const TDateTime now = ProgramNow();
    auto* window = new TfrmReminderChange(options, now);
    options.ReminderShowedDateTime = now;
    if (ExecHook()) {
        ExecHook()(window);
        return;
    }
    window->exec();
}
