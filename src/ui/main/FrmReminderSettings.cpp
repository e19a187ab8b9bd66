#include "ui/main/FrmReminderSettings.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/TimeEntry.h"

#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/Options.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <cmath>

const char* const kReminderSettingsExplanation
    = "If you reduce the time allowed on distracting sites/apps or add more sites/apps to your list, these changes "
      "take effect immediately.\n\nThe following changes happen instantly once a day. Further changes take effect "
      "at 4am.\n-Increasing time allowed on distracting sites/apps\n-Changing what happens when your time limit is "
      "reached.";

TfrmReminderSettings::TfrmReminderSettings(int limitSeconds, int action, QWidget* parent)
    : TfrmBase(parent)
{
    setWindowTitle(QStringLiteral("Time-Up Settings"));
    resize(400, 300);

    lblExplanation = new QLabel(QString::fromLatin1(kReminderSettingsExplanation), this);
    lblExplanation->setObjectName(QStringLiteral("lblExplanation"));
    lblExplanation->setWordWrap(true);
    lblExplanation->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblExplanation->setGeometry(16, 42, 368, 140);
    LabelOnBackgroundSet(lblExplanation);

    lblTimeUpAction = new QLabel(QStringLiteral("Time up action:"), this);
    lblTimeUpAction->setObjectName(QStringLiteral("lblTimeUpAction"));
    lblTimeUpAction->setGeometry(16, 192, 110, 22);
    LabelOnBackgroundSet(lblTimeUpAction);
    cbxExpirationAction = new QComboBox(this);
    cbxExpirationAction->setObjectName(QStringLiteral("cbxExpirationAction"));
    for (int i = 0; i < 3; ++i) {
        cbxExpirationAction->addItem(QString::fromStdString(ExpirationActionNameGet(i)));
    }
    cbxExpirationAction->setGeometry(130, 190, 190, 26);
    btnCombo = new TImageButton(this);
    btnCombo->setObjectName(QStringLiteral("btnCombo"));
    btnCombo->SkinSet(QStringLiteral("combo"));
    btnCombo->SideWidthSet(6);
    btnCombo->SideHeightSet(6);
    btnCombo->setGeometry(130 + 190 - 26, 191, 26, 24);
    connect(btnCombo, &TImageButton::clicked, cbxExpirationAction, &QComboBox::showPopup);

    lblTimeLimit = new QLabel(QStringLiteral("Time Limit:"), this);
    lblTimeLimit->setObjectName(QStringLiteral("lblTimeLimit"));
    lblTimeLimit->setGeometry(16, 226, 110, 22);
    LabelOnBackgroundSet(lblTimeLimit);
    medTimeLimit = new QLineEdit(this);
    medTimeLimit->setObjectName(QStringLiteral("medTimeLimit"));
    // Five places: an optional and a required digit on each side of the separator.
    medTimeLimit->setInputMask(QStringLiteral("09:09;_"));
    medTimeLimit->setGeometry(130, 224, 70, 26);
    lblHoursMinutes = new QLabel(QStringLiteral("hours:minutes"), this);
    lblHoursMinutes->setObjectName(QStringLiteral("lblHoursMinutes"));
    lblHoursMinutes->setGeometry(208, 226, 120, 22);
    LabelOnBackgroundSet(lblHoursMinutes);

    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(100, 262, 90, 28));
    btnCancel = ButtonAdd(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), QRect(210, 262, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &TfrmReminderSettings::accept);
    connect(btnCancel, &TImageButton::clicked, this, &QDialog::reject);
    DialogKeysAdd(miOk, miCancel, false);
    disconnect(miOk, &QAction::triggered, this, &QDialog::accept);
    connect(miOk, &QAction::triggered, this, &TfrmReminderSettings::accept);

    cbxExpirationAction->setCurrentIndex(std::clamp(action, 0, 2));
    medTimeLimit->setText(QString::fromStdString(DurationText(static_cast<int64_t>(limitSeconds))));
}

int TfrmReminderSettings::EnteredLimitSeconds() const
{
    return static_cast<int>(std::lround(TextToTime(medTimeLimit->text().toStdString()) * 86400.0));
}

int TfrmReminderSettings::SelectedAction() const
{
    return cbxExpirationAction->currentIndex();
}

void TfrmReminderSettings::accept()
{
    if (!TimeEntryCheck(medTimeLimit)) {
        return;
    }
    TfrmBase::accept();
}

void TfrmReminderSettings::done(int result)
{
    if (result == QDialog::Accepted && m_limitTarget && m_actionTarget) {
        *m_limitTarget = EnteredLimitSeconds();
        *m_actionTarget = SelectedAction();
    }
    TfrmBase::done(result);
}

bool TfrmReminderSettings::Execute()
{
    TOptions& options = OptionsInstance();
    const auto [limitSeconds, action] = options.ShownLimitAndAction();
    auto* window = new TfrmReminderSettings(limitSeconds, action);
    int enteredLimit = limitSeconds;
    int chosenAction = action;
    window->m_limitTarget = &enteredLimit;
    window->m_actionTarget = &chosenAction;
    if (window->exec() != QDialog::Accepted) {
        return false;
    }
    options.TimeLimitSecondsSet(enteredLimit);
    options.ExpirationActionSet(chosenAction);
    return true;
}
