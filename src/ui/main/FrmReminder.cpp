#include "ui/main/FrmReminder.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"

#include "storage/Options.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace {

constexpr int kWidth = 420;
constexpr int kSectionsTop = 40;
// Morning, afternoon, evening; the controls below take 137 pixels, so the window is 533, 413
// or 295 pixels high when it starts with the morning, the afternoon or the evening.
constexpr int kSectionHeights[3] = { 120, 118, 118 };
constexpr int kLowerPartHeight = 137;

QLabel* LabelMake(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    LabelOnBackgroundSet(label);
    return label;
}

QPlainTextEdit* MemoMake(QWidget* parent, const char* name)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setTabChangesFocus(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return memo;
}

} // namespace

TfrmReminder::TfrmReminder(const TReminderContent& content, QWidget* parent)
    : TfrmBase(parent)
{
    setWindowTitle(QStringLiteral("Reminder"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    // On top of everything, but the keyboard stays where the user is typing.
    setAttribute(Qt::WA_ShowWithoutActivating);

    lblMorning = LabelMake(this, "lblMorning", QStringLiteral("This Morning:"));
    lblAfternoon = LabelMake(this, "lblAfternoon", QStringLiteral("This Afternoon:"));
    lblEvening = LabelMake(this, "lblEvening", QStringLiteral("This Evening:"));
    memReminderMorning = MemoMake(this, "memReminderMorning");
    memReminderAfternoon = MemoMake(this, "memReminderAfternoon");
    memReminderEvening = MemoMake(this, "memReminderEvening");

    lblReminderText = LabelMake(this, "lblReminderText", QString());
    lblReminderText->setWordWrap(true);
    lblReminderText->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblAction = LabelMake(this, "lblAction", QStringLiteral("Action:"));
    cbxExpirationAction = new QComboBox(this);
    cbxExpirationAction->setObjectName(QStringLiteral("cbxExpirationAction"));
    cbxExpirationAction->addItems(
        { QStringLiteral("Continue"), QStringLiteral("Close Application"), QStringLiteral("Shutdown Computer") });
    btnComboExpirationAction = new TImageButton(this);
    btnComboExpirationAction->setObjectName(QStringLiteral("btnComboExpirationAction"));
    btnComboExpirationAction->SkinSet(QStringLiteral("combo"));
    btnComboExpirationAction->SideWidthSet(6);
    btnComboExpirationAction->SideHeightSet(6);
    connect(btnComboExpirationAction, &TImageButton::clicked, cbxExpirationAction, &QComboBox::showPopup);

    lblTimeLeft = LabelMake(this, "lblTimeLeft", QStringLiteral("Time Left:"));
    lblTimeValue = LabelMake(this, "lblTimeValue", QString());

    btnFiveMinutes = ButtonAdd(QStringLiteral("btnFiveMinutes"), QStringLiteral("Give me 5 Minutes"), QRect());
    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect());
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);
    connect(btnFiveMinutes, &TImageButton::clicked, this, [this] {
        m_grace = true;
        accept();
    });
    // Enter and Esc only close; neither is a choice of its own.
    DialogKeysAdd(miOk, miCancel, true);

    tmrCountdown = new QTimer(this);
    tmrCountdown->setObjectName(QStringLiteral("tmrCountdown"));
    tmrCountdown->setInterval(1000);
    connect(tmrCountdown, &QTimer::timeout, this, &TfrmReminder::tmrCountdownTimer);

    tmrKeysArm = new QTimer(this);
    tmrKeysArm->setObjectName(QStringLiteral("tmrKeysArm"));
    tmrKeysArm->setSingleShot(true);
    tmrKeysArm->setInterval(1000);
    connect(tmrKeysArm, &QTimer::timeout, this, [this] { m_keysArmed = true; });
    // Keys reach a window's controls and its short-cuts by several roads; the application's
    // filter sees them all.
    qApp->installEventFilter(this);

    CountdownSeconds = kTimeUpCountdownSeconds;
    memReminderMorning->setPlainText(content.Reminders[0]);
    memReminderAfternoon->setPlainText(content.Reminders[1]);
    memReminderEvening->setPlainText(content.Reminders[2]);
    lblReminderText->setText(QString::fromStdString(ReminderMessageText(content.InFocus, content.ExpirationAction)));
    btnFiveMinutes->setVisible(content.FiveMinuteOffer);
    cbxExpirationAction->setCurrentIndex(std::clamp(content.ExpirationAction, 0, 2));
    m_countdown = content.InFocus || content.ExpirationAction != eaReminderOnly;
    lblAction->setVisible(!m_countdown);
    cbxExpirationAction->setVisible(!m_countdown);
    btnComboExpirationAction->setVisible(!m_countdown);
    lblTimeLeft->setVisible(m_countdown);
    lblTimeValue->setVisible(m_countdown);
    SectionsLayout(ReminderFirstSectionGet(content.TimeOfDay));
}

void TfrmReminder::SectionsLayout(int firstSection)
{
    QLabel* labels[3] = { lblMorning, lblAfternoon, lblEvening };
    QPlainTextEdit* memos[3] = { memReminderMorning, memReminderAfternoon, memReminderEvening };
    int top = kSectionsTop;
    for (int section = 0; section < 3; ++section) {
        const bool shown = section >= firstSection;
        labels[section]->setVisible(shown);
        memos[section]->setVisible(shown);
        if (!shown) {
            continue;
        }
        labels[section]->setGeometry(16, top, kWidth - 32, 20);
        memos[section]->setGeometry(16, top + 20, kWidth - 32, kSectionHeights[section] - 26);
        top += kSectionHeights[section];
    }
    lblReminderText->setGeometry(16, top + 2, kWidth - 32, 66);
    lblAction->setGeometry(16, top + 74, 60, 22);
    cbxExpirationAction->setGeometry(80, top + 72, 190, 26);
    ComboClip(cbxExpirationAction);
    btnComboExpirationAction->setGeometry(80 + 190 - 26, top + 73, 26, 24);
    lblTimeLeft->setGeometry(16, top + 74, 80, 22);
    lblTimeValue->setGeometry(100, top + 74, 80, 22);
    btnFiveMinutes->setGeometry(16, top + 102, 160, 28);
    btnOk->setGeometry(kWidth - 16 - 90, top + 102, 90, 28);
    setFixedSize(kWidth, top + kLowerPartHeight);
    RoundOutline();
}

void TfrmReminder::showEvent(QShowEvent* event)
{
    TfrmBase::showEvent(event);
    if (!m_keysArmed) {
        tmrKeysArm->start();
    }
    if (m_countdown && !tmrCountdown->isActive()) {
        tmrCountdown->start();
        tmrCountdownTimer();
    }
}

void TfrmReminder::tmrCountdownTimer()
{
    if (CountdownSeconds != 0) {
        lblTimeValue->setText(QStringLiteral("%1:%2")
                                  .arg(CountdownSeconds / 60, 2, 10, QLatin1Char('0'))
                                  .arg(CountdownSeconds % 60, 2, 10, QLatin1Char('0')));
        CountdownSeconds -= static_cast<int>(std::lround(tmrCountdown->interval() / 1000.0));
        return;
    }
    tmrCountdown->stop();
    accept();
}

bool TfrmReminder::OwnsReceiver(QObject* receiver) const
{
    if (auto* widget = qobject_cast<QWidget*>(receiver)) {
        return widget->window() == this;
    }
    return receiver && receiver->parent() == this; // its short-cuts (miOk, miCancel)
}

bool TfrmReminder::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_keysArmed && OwnsReceiver(watched)) {
        switch (event->type()) {
        case QEvent::KeyPress:
            // Still typing: the quiet second starts again.
            tmrKeysArm->start();
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
            return true;
        case QEvent::MouseButtonPress:
            m_keysArmed = true;
            tmrKeysArm->stop();
            break;
        default:
            break;
        }
    }
    return TfrmBase::eventFilter(watched, event);
}

TReminderAnswer TfrmReminder::Answer() const
{
    TReminderAnswer answer;
    answer.Grace = m_grace;
    answer.Choice = cbxExpirationAction->currentIndex();
    return answer;
}

void TfrmReminder::done(int result)
{
    tmrCountdown->stop();
    if (m_answerTarget) {
        *m_answerTarget = Answer();
    }
    TfrmBase::done(result);
}

TReminderAnswer TfrmReminder::Execute(QWidget* mainWindow, bool inFocus, bool fiveMinuteOffer)
{
    TReminderContent content;
    content.InFocus = inFocus;
    content.FiveMinuteOffer = fiveMinuteOffer;
    TOptions& options = OptionsInstance();
    content.ExpirationAction = options.ExpirationAction;
    for (int i = 0; i < 3; ++i) {
        content.Reminders[static_cast<size_t>(i)] = QString::fromStdString(options.ReminderText(i));
    }
    content.TimeOfDay = ProgramTimeOfDay();

    // The main window takes no input while the window is open, and gets it back however the
    // window ends, an error included.
    QPointer<QWidget> owner = mainWindow;
    struct TEnableAgain
    {
        QPointer<QWidget>& Owner;
        ~TEnableAgain()
        {
            if (Owner) {
                Owner->setEnabled(true);
            }
        }
    } enableAgain { owner };
    if (owner) {
        owner->setEnabled(false);
    }

    // Stays unanswered when the window's loop ends without it: the program is ending.
    TReminderAnswer answer;
    answer.Answered = false;
    // Without a parent: a disabled main window would disable its child windows too.
    auto* window = new TfrmReminder(content);
    window->AnswerTargetSet(&answer);
    // Not modal: the window system hands the keyboard to every modal window as it maps it, and
    // this one must not take the keys the user is typing into another program. The main window
    // is disabled instead, and this loop waits for the answer as a modal one would; the end of
    // the program ends it too, unanswered.
    QPointer<TfrmReminder> shown = window;
    QEventLoop loop;
    QObject::connect(window, &QDialog::finished, &loop, &QEventLoop::quit);
    window->show(); // on top of everything, and the program with it
    loop.exec(QEventLoop::DialogExec);
    delete shown.data();
    return answer;
}
