#include "MainViews.h"

#include "ui/main/FrmMain.h"

#include "model/DataLocations.h"
#include "model/ProgramClock.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>

#include <iostream>
#include <memory>
#include <vector>

namespace {

struct TSampleEntry
{
    TMonitoredItemType Type;
    const char* Name;
    const char* Caption;
    bool Active;
    int TodaySeconds;
    int EarlierSeconds;
};

const TSampleEntry kEntries[] = {
    { mitWeb, "youtube.com", "YouTube", true, 47 * 60, 9 * 3600 },
    { mitWeb, "news.ycombinator.com", "Hacker News", true, 22 * 60, 4 * 3600 },
    { mitWeb, "reddit.com", "Reddit", true, 8 * 60 + 30, 6 * 3600 },
    { mitApp, "/usr/games/sol", "Solitaire", false, 5 * 60, 2 * 3600 },
    { mitApp, "/usr/bin/steam", "Steam", true, 0, 12 * 3600 },
};

// The sample day: a list, reminders, a limit, and rows for today and the weeks before.
void SampleDataWrite()
{
    TOptions& options = OptionsInstance();
    options.IsNotFirstRun = true;
    options.TimeLimitSeconds = 2 * 3600;
    options.ExpirationAction = 1;
    options.ResetDateTime = TodayAt0400() + 1;
    options.ReminderTextSet(0, "Finish the quarterly report\nReply to Anna about Friday");
    options.ReminderTextSet(1, "Call the dentist\nReview the pull requests");
    options.ReminderTextSet(2, "30 minutes of reading\nPrepare tomorrow's slides");
    for (const TSampleEntry& entry : kEntries) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = entry.Type;
        item->Name = entry.Name;
        item->Caption = entry.Caption;
        item->Active = entry.Active;
        item->Checked = true;
        options.MonitoredItems().Add(entry.Caption, std::move(item));
    }
    options.ListSave();
    options.OptionsSave();
    const TDateTime now = ProgramNow();
    for (const TSampleEntry& entry : kEntries) {
        const bool web = entry.Type == mitWeb;
        const std::string app = web ? "/usr/lib/firefox-esr/firefox-esr" : entry.Name;
        const std::string url = web ? entry.Name : "";
        const std::string type = web ? "Mozila FireFox" : "Desktop Application";
        if (entry.TodaySeconds > 0) {
            ActivityDBExecSQL(ActivityInsertSql(DateTimeToDbText(std::max(now - 1.0 / 1440.0, DayStart())), app, url,
                type, entry.TodaySeconds, web ? 2 : 1));
        }
        ActivityDBExecSQL(
            ActivityInsertSql(DateTimeToDbText(now - 9.5), app, url, type, entry.EarlierSeconds, web ? 2 : 1));
    }
}

class TMainViews : public QObject
{
public:
    QTemporaryDir Folder;
    std::vector<std::unique_ptr<TfrmMain>> Windows;
};

} // namespace

QObject* MainViewsShow(const QString& folder)
{
    auto* owner = new TMainViews();
    DataLocationsCompute(owner->Folder.path().toStdString(), QApplication::applicationFilePath().toStdString());
    SampleDataWrite();

    struct TView
    {
        const char* File;
        TMainView View;
    };
    const TView views[] = { { "main-lite.png", TMainView::Lite }, { "main-all.png", TMainView::All },
        { "main-reminders.png", TMainView::Reminders }, { "main-usage.png", TMainView::Usage } };
    int left = 8;
    for (const TView& view : views) {
        auto window = std::make_unique<TfrmMain>();
        window->ViewSwitch(view.View);
        if (view.View == TMainView::Usage) {
            // The last 14 days.
            window->findChild<QComboBox*>(QStringLiteral("cbxUsage_Period"))->setCurrentIndex(3);
        }
        window->findChild<QListWidget*>(QStringLiteral("lbxMain_Applications"))->setCurrentRow(-1);
        window->ApplicationRestore();
        window->move(left, 0);
        left += window->width() + 8;
        QApplication::processEvents();
        if (!folder.isEmpty()) {
            const QString file = QDir(folder).filePath(QString::fromLatin1(view.File));
            std::cout << (window->grab().save(file) ? "saved " : "could not save ") << file.toStdString() << "\n";
        }
        owner->Windows.push_back(std::move(window));
    }
    return owner;
}

void MainViewsFree(QObject* owner)
{
    auto* views = static_cast<TMainViews*>(owner);
    views->Windows.clear();
    OptionsInstanceFree();
    WindowPreferencesFree();
    delete views;
}
