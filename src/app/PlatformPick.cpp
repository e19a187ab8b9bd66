#include "app/PlatformPick.h"

#include "model/ProgramClock.h"
#include "ui/framework/FrmBase.h"

#include <QCoreApplication>
#include <QTimer>

void ProgramClockAttach(TClockSource& source)
{
    ClockTickSourceSet([&source] { return source.Ticks(); }, source.Frequency(), SystemNow());
    // The end of summer time and a clock the user sets take effect at once, not at the next start.
    ClockWallSourceSet(SystemWallClockRead);
}

void ForegroundNoticesShow(const TPlatformServices& services)
{
    if (!services.WindowSystem)
        return;
    if (!services.ForegroundNotice.empty()) {
        // Once the windows are up, so the message has an owner on the screen.
        QTimer::singleShot(0, qApp, [notice = QString::fromStdString(services.ForegroundNotice)] {
            TfrmBase::ShowMessage(notice, QStringLiteral("Please Note"));
        });
    }
    // A compositor can go away while the program runs (KWin restarts): the user hears of it
    // when it does not come back, not only at start.
    auto* noticePoll = new QTimer(qApp);
    QObject::connect(noticePoll, &QTimer::timeout, qApp, [windows = services.WindowSystem.get()] {
        const std::string notice = windows->ForegroundNoticeTake();
        if (!notice.empty())
            TfrmBase::ShowMessage(QString::fromStdString(notice), QStringLiteral("Please Note"));
    });
    noticePoll->start(5000);
}
