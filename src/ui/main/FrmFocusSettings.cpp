#include "ui/main/FrmFocusSettings.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/TimeEntry.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

TfrmFocusSettings::TfrmFocusSettings(TMonitoredList& result, TAddWizardOpen addWizardOpen, QWidget* parent)
    : TfrmBase(parent)
    , m_result(result)
    , m_addWizardOpen(std::move(addWizardOpen))
{
    setWindowTitle(QStringLiteral("Block Mode"));
    resize(380, 200);

    const auto label = [this](const char* name, const QString& text, const QRect& geometry) {
        auto* made = new QLabel(text, this);
        made->setObjectName(QString::fromLatin1(name));
        made->setGeometry(geometry);
        LabelOnBackgroundSet(made);
        return made;
    };
    lblBlockAll = label("lblBlockAll", QStringLiteral("Block all sites and applications"), QRect(20, 46, 340, 22));
    lblOnYour = label("lblOnYour", QStringLiteral("on"), QRect(20, 80, 22, 22));
    lblAppWizardLink = label("lblAppWizardLink", QStringLiteral("<a href=\"#\">your list</a>"), QRect(42, 80, 64, 22));
    lblAppWizardLink->setTextFormat(Qt::RichText);
    lblAppWizardLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    lblAppWizardLink->setCursor(Qt::PointingHandCursor);
    connect(lblAppWizardLink, &QLabel::linkActivated, this, &TfrmFocusSettings::lblAppWizardLinkClick);
    lblFor = label("lblFor", QStringLiteral("for"), QRect(106, 80, 30, 22));
    medTimeLimit = new QLineEdit(this);
    medTimeLimit->setObjectName(QStringLiteral("medTimeLimit"));
    medTimeLimit->setInputMask(QStringLiteral("99:99;_"));
    medTimeLimit->setText(QStringLiteral("00:00"));
    medTimeLimit->setGeometry(138, 78, 64, 26);
    lblHoursMinutes = label("lblHoursMinutes", QStringLiteral("hours:minutes"), QRect(210, 80, 120, 22));
    // "on your list for [time] hours:minutes" is one sentence of several controls: each word
    // follows the one before at a space's width, whatever widths the font gives the words.
    const int space = lblOnYour->fontMetrics().horizontalAdvance(QLatin1Char(' '));
    int x = lblOnYour->x();
    for (QWidget* part : std::initializer_list<QWidget*> { lblOnYour, lblAppWizardLink, lblFor, medTimeLimit }) {
        if (part != medTimeLimit) {
            part->resize(part->sizeHint().width(), part->height());
        }
        part->move(x, part->y());
        x += part->width() + (part == lblFor || part == medTimeLimit ? 2 * space : space);
    }
    lblHoursMinutes->move(x, lblHoursMinutes->y());
    lblNote = label("lblNote",
        QStringLiteral("Once started, this mode cannot be stopped until the time you have set runs out."),
        QRect(20, 112, 340, 40));
    lblNote->setWordWrap(true);

    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(90, 160, 90, 28));
    btnCancel = ButtonAdd(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), QRect(200, 160, 90, 28));
    connect(btnOk, &TImageButton::clicked, this, &TfrmFocusSettings::accept);
    connect(btnCancel, &TImageButton::clicked, this, &QDialog::reject);
    DialogKeysAdd(miOk, miCancel, false);
    disconnect(miOk, &QAction::triggered, this, &QDialog::accept);
    connect(miOk, &QAction::triggered, this, &TfrmFocusSettings::accept);
}

void TfrmFocusSettings::lblAppWizardLinkClick()
{
    if (m_addWizardOpen) {
        m_addWizardOpen(m_result);
    }
}

TDateTime TfrmFocusSettings::EnteredDuration() const
{
    return TextToTime(medTimeLimit->text().toStdString());
}

void TfrmFocusSettings::accept()
{
    if (!TimeEntryCheck(medTimeLimit)) {
        return;
    }
    TfrmBase::accept();
}

void TfrmFocusSettings::done(int result)
{
    if (result == QDialog::Accepted && m_durationTarget) {
        *m_durationTarget = EnteredDuration();
    }
    TfrmBase::done(result);
}

bool TfrmFocusSettings::Execute(TMonitoredList& result, TAddWizardOpen addWizardOpen, TDateTime& duration)
{
    auto* window = new TfrmFocusSettings(result, std::move(addWizardOpen));
    window->m_durationTarget = &duration;
    return window->exec() == QDialog::Accepted;
}
