#include "ConfigTestSupport.h"

#include "QtTestMain.h"

#include "ui/config/FrmPasswordCheck.h"
#include "ui/framework/FrmDeleteConfirm.h"
#include "ui/framework/FrmWarning.h"

#include <QLabel>
#include <QLineEdit>

TModalAnswers::TModalAnswers()
{
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start();
}

TModalAnswers::~TModalAnswers() = default;

void TModalAnswers::Add(std::function<void(QWidget*)> answer)
{
    m_answers.push_back(std::move(answer));
}

void TModalAnswers::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == m_lastActive) {
        return;
    }
    // A window counts as new once; one that comes to the front again (after a message it
    // opened) takes the next answer too.
    m_lastActive = modal;
    bool fresh = true;
    for (const QPointer<QWidget>& seen : m_seen) {
        fresh = fresh && seen != modal;
    }
    if (fresh) {
        m_seen.emplace_back(modal);
        if (auto* warning = qobject_cast<TfrmWarning*>(modal)) {
            Messages.push_back(
                (warning->windowTitle() + QStringLiteral(": ") + warning->lblWarning->text()).toStdString());
        }
        DeleteConfirms += qobject_cast<TfrmDeleteConfirm*>(modal) ? 1 : 0;
        PasswordWindows += qobject_cast<TfrmPasswordCheck*>(modal) ? 1 : 0;
    }
    if (!m_answers.empty() && !qobject_cast<TfrmWarning*>(modal)) {
        auto answer = std::move(m_answers.front());
        m_answers.pop_front();
        answer(modal);
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && fresh) {
        QTimer::singleShot(0, dialog, &QDialog::accept);
    }
}

void ConfigTest::SetUp()
{
    OptionsInstanceFree();
    WindowPreferencesFree();
    DataLocationsCompute(m_temp.Text(), "/opt/tallyhour/tallyhour");
    LogFileNameSet(m_temp.Text() + "test.log");
    TestAppearanceReset();
}

void ConfigTest::TearDown()
{
    OptionsInstanceFree();
    WindowPreferencesFree();
}

void ConfigTest::StoredItemAdd(
    const std::string& name, const std::string& caption, TMonitoredItemType kind, bool active)
{
    auto item = std::make_unique<TMonitoredItem>();
    item->Name = name;
    item->Caption = caption;
    item->ItemType = kind;
    item->Active = active;
    OptionsInstance().MonitoredItems().Add(caption, std::move(item));
}

std::function<void(QWidget*)> PasswordAnswer(const std::string& password, bool ok)
{
    return [password, ok](QWidget* modal) {
        auto* window = qobject_cast<TfrmPasswordCheck*>(modal);
        ASSERT_NE(nullptr, window) << "a password window was expected";
        window->edPassword->setText(QString::fromStdString(password));
        if (ok) {
            QTimer::singleShot(0, window, &TfrmPasswordCheck::btnOkClick);
        } else {
            QTimer::singleShot(0, window, &QDialog::reject);
        }
    };
}

std::function<void(QWidget*)> ConfirmAnswer(bool ok)
{
    return [ok](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        QTimer::singleShot(0, dialog, ok ? &QDialog::accept : &QDialog::reject);
    };
}
