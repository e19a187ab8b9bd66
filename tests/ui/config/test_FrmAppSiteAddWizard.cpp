#include "ConfigTestSupport.h"

#include "ui/config/FrmAppSiteAddWizard.h"
#include "ui/framework/Gauge.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ListBoxItems.h"

#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeInstalledApplications.h"

#include <QAbstractProxyModel>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

class AddWizard : public ConfigTest
{
protected:
    void TearDown() override
    {
        if (m_window) {
            delete m_window.data();
        }
        ConfigTest::TearDown();
    }
    TfrmAppSiteAddWizard* Open()
    {
        m_window = new TfrmAppSiteAddWizard(OptionsInstance(), OptionsInstance().MonitoredItems(), m_result,
            TAppSiteSources { &m_installed, &m_processes });
        m_window->Prepare();
        return m_window;
    }
    int RowOf(QListWidget* listBox, const std::string& name)
    {
        for (int row = 0; row < listBox->count(); ++row) {
            if (const TMonitoredItem* item = ListBoxItemObject(listBox, row); item && item->Name == name) {
                return row;
            }
        }
        return -1;
    }
    const TMonitoredItem* ResultItem(const std::string& name)
    {
        const int index = m_result.NameIndexGet(name);
        return index < 0 ? nullptr : m_result.Items(index);
    }
    void RightsSet(int level)
    {
        TOptions& options = OptionsInstance();
        options.AdminMode = level == 2;
        options.AllowUserToChangeSettings = level == 1;
    }

    TFakeInstalledApplications m_installed;
    TFakeProcesses m_processes;
    TMonitoredList m_result;
    QPointer<TfrmAppSiteAddWizard> m_window;
};

} // namespace

TEST_F(AddWizard, DuplicateAndSelfAddMessages)
{
    StoredItemAdd("example.com", "Example", mitWeb);
    StoredItemAdd("/usr/games/chess", "Chess", mitApp);
    Open();
    TModalAnswers answers;
    const auto add
        = [&](QLineEdit* name, QLineEdit* tag, TMonitoredItemType kind, const char* text, const char* caption) {
              name->setText(QString::fromLatin1(text));
              tag->setText(QString::fromLatin1(caption));
              return m_window->ItemAdd(kind);
          };
    EXPECT_FALSE(add(m_window->edURL, m_window->edTag, mitWeb, "", "Tag")) << "an empty box adds nothing";
    EXPECT_FALSE(add(m_window->edURL, m_window->edTag, mitWeb, "example.com", "Example"));
    EXPECT_FALSE(add(m_window->edURL, m_window->edTag, mitWeb, "/usr/games/chess", "Chess"));
    m_window->SitesNext();
    m_window->ScanNext();
    EXPECT_FALSE(add(m_window->edApp, m_window->edAppTag, mitApp, "/usr/games/chess", " Chess "));
    EXPECT_FALSE(add(m_window->edApp, m_window->edAppTag, mitApp, "example.com", "Example"));
    EXPECT_FALSE(add(m_window->edApp, m_window->edAppTag, mitApp, "/OPT/tallyhour/tallyhour", ""));
    EXPECT_EQ(
        (std::vector<std::string> {
            "Please note: You have already added an site with the same URL to the list. Please choose another URL.",
            "Please note: You have already added an application with the same filename. Please choose another URL.",
            "Please note: You have already added an application with the same filename. Please choose another "
            "filename.",
            "Please note: You have already added an site with the same URL to the list. Please choose filename.",
            "Please Note: \"tallyhour\" could not be added to time-limit list" }),
        answers.Messages);
    EXPECT_EQ("/OPT/tallyhour/tallyhour", m_window->edApp->text().toStdString()) << "a refused entry stays in the box";

    // Another tag renames the listed entry; a new site joins the list.
    answers.Messages.clear();
    m_window->AppsBack();
    m_window->ScanBack();
    EXPECT_TRUE(add(m_window->edURL, m_window->edTag, mitWeb, "example.com", "Examples"));
    EXPECT_TRUE(add(m_window->edURL, m_window->edTag, mitWeb, "news.example", ""));
    EXPECT_TRUE(m_window->edURL->text().isEmpty());
    m_window->SitesNext();
    m_window->ScanNext();
    EXPECT_TRUE(add(m_window->edApp, m_window->edAppTag, mitApp, "/usr/games/chess", "Chess Deluxe"));
    m_window->Finish();
    EXPECT_TRUE(answers.Messages.empty());
    ASSERT_NE(nullptr, ResultItem("example.com"));
    EXPECT_EQ("Examples", ResultItem("example.com")->Caption);
    EXPECT_EQ("news.example", ResultItem("news.example")->Caption);
    EXPECT_EQ("Chess Deluxe", ResultItem("/usr/games/chess")->Caption);
    const TMonitoredList& stored = OptionsInstance().MonitoredItems();
    EXPECT_EQ("Chess", stored.Items(stored.NameIndexGet("/usr/games/chess"))->Caption)
        << "the caller's list is untouched";
    EXPECT_EQ(2, stored.Count());
}

// A refused Add on the Apps page made that page's list anew: the rows follow it, so none is left
// on a freed entry while the message's loop repaints them. And Cancel hands back nothing, even
// after a site was added and given a new tag.
TEST_F(AddWizard, ARefusedAddLeavesEveryRowOnItsEntryAndCancelHandsBackNothing)
{
    StoredItemAdd("/usr/games/chess", "Chess", mitApp);
    Open();
    m_window->show();
    TModalAnswers answers;
    m_window->SitesNext();
    m_window->ScanNext();
    m_window->edApp->setText(QStringLiteral("/usr/games/chess"));
    m_window->edAppTag->setText(QStringLiteral("Chess"));
    EXPECT_FALSE(m_window->ItemAdd(mitApp));
    ASSERT_EQ(answers.Messages.size(), 1u);
    m_window->lbxApps->grab();
    const int chess = RowOf(m_window->lbxApps, "/usr/games/chess");
    ASSERT_GE(chess, 0);
    EXPECT_EQ("Chess", ListBoxItemObject(m_window->lbxApps, chess)->Caption);

    m_window->AppsBack();
    m_window->ScanBack();
    m_window->edURL->setText(QStringLiteral("news.example"));
    ASSERT_TRUE(m_window->ItemAdd(mitWeb));
    m_window->edURL->setText(QStringLiteral("news.example"));
    m_window->edTag->setText(QStringLiteral("News"));
    ASSERT_TRUE(m_window->ItemAdd(mitWeb));
    m_window->btnSitesCancel->click();
    EXPECT_EQ(0, m_result.Count());
}

// By keyboard alone: Tab reaches "Cancel" and "Next >" on the Sites page, and Enter on "Next >"
// goes next instead of adding what the address box holds. Enter in a name box adds what it holds
// on both pages; with the box empty it leaves the Sites page as it is and finishes on the Apps page.
TEST_F(AddWizard, TabReachesTheSitesPageButtonsAndEnterAddsWhatTheNameBoxHolds)
{
    m_installed.ExecutableAdd("/usr/bin/xterm");
    Open();
    m_window->show();
    std::vector<QWidget*> stops;
    QWidget* widget = m_window->edURL;
    do {
        widget = widget->nextInFocusChain();
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible()) {
            stops.push_back(widget);
        }
    } while (widget != m_window->edURL && stops.size() < 100);
    EXPECT_NE(std::find(stops.begin(), stops.end(), m_window->btnSitesNext), stops.end());
    EXPECT_NE(std::find(stops.begin(), stops.end(), m_window->btnSitesCancel), stops.end());

    m_window->edURL->setText(QStringLiteral("example.org"));
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Return, Qt::NoModifier);
    override.setAccepted(false);
    QApplication::sendEvent(m_window->btnSitesNext, &override);
    EXPECT_TRUE(override.isAccepted()) << "the window's Enter (Add) would take the key";
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_window->btnSitesNext, &press);
    EXPECT_EQ(m_window->pgcWizard->currentWidget(), m_window->tsAppProcesses);
    EXPECT_LT(RowOf(m_window->lbxSites, "example.org"), 0);

    // Enter typed into a name box reaches the window's Enter: the box does not keep the key.
    const auto enterIn = [this](QLineEdit* box) {
        box->setFocus();
        QKeyEvent boxOverride(QEvent::ShortcutOverride, Qt::Key_Return, Qt::NoModifier);
        boxOverride.setAccepted(false);
        QApplication::sendEvent(box, &boxOverride);
        EXPECT_FALSE(boxOverride.isAccepted()) << box->objectName().toStdString();
        m_window->miEnter->trigger();
    };
    m_window->ScanBack();
    enterIn(m_window->edURL);
    EXPECT_GE(RowOf(m_window->lbxSites, "example.org"), 0);
    EXPECT_TRUE(m_window->edURL->text().isEmpty());
    enterIn(m_window->edURL);
    EXPECT_EQ(m_window->pgcWizard->currentWidget(), m_window->tsMonitoredSites);
    m_window->SitesNext();
    m_window->ScanNext();
    m_window->edApp->setText(QStringLiteral("/usr/bin/xterm"));
    enterIn(m_window->edApp);
    EXPECT_TRUE(m_window->isVisible()) << "Enter after a typed program finished the wizard";
    EXPECT_GE(RowOf(m_window->lbxApps, "/usr/bin/xterm"), 0);
    EXPECT_TRUE(m_window->edApp->text().isEmpty());
    enterIn(m_window->edApp);
    EXPECT_EQ(m_window->result(), QDialog::Accepted);
    ASSERT_NE(nullptr, ResultItem("/usr/bin/xterm"));
    EXPECT_TRUE(ResultItem("/usr/bin/xterm")->Checked);
    EXPECT_NE(nullptr, ResultItem("example.org"));
}

// A name longer than its column is cut short and shown whole in the row's tip; the row stays as
// wide as the list, so its check box, the only way to uncheck it, stays where a click finds it.
TEST_F(AddWizard, ALongNameKeepsItsRowInsideTheListAndShowsWholeInTheTip)
{
    const QString site = QStringLiteral("www.") + QString(82, QLatin1Char('s')) + QStringLiteral(".com");
    // A program is listed under its file's name: that is what grows long here.
    const QString path = QStringLiteral("/opt/game/") + QString(100, QLatin1Char('p'));
    m_installed.ExecutableAdd(path.toStdString());
    m_installed.ExecutableAdd("/usr/bin/xterm");
    Open();
    m_window->show();
    m_window->edURL->setText(site);
    ASSERT_TRUE(m_window->ItemAdd(mitWeb));
    m_window->SitesNext();
    m_window->ScanNext();
    m_window->edApp->setText(path);
    ASSERT_TRUE(m_window->ItemAdd(mitApp));
    m_window->edApp->setText(QStringLiteral("/usr/bin/xterm"));
    ASSERT_TRUE(m_window->ItemAdd(mitApp));
    QApplication::processEvents();
    const auto tipAt = [](QListWidget* listBox, int row) {
        const QRect rect = listBox->visualItemRect(listBox->item(row));
        QHelpEvent tip(
            QEvent::ToolTip, rect.topLeft() + QPoint(20, 4), listBox->viewport()->mapToGlobal(rect.topLeft()));
        QApplication::sendEvent(listBox->viewport(), &tip);
        return QToolTip::text();
    };
    // A short name needs no tip.
    EXPECT_EQ(tipAt(m_window->lbxApps, RowOf(m_window->lbxApps, "/usr/bin/xterm")), QString());
    for (QListWidget* listBox : { m_window->lbxSites, m_window->lbxApps }) {
        SCOPED_TRACE(listBox->objectName().toStdString());
        const int row = RowOf(listBox, (listBox == m_window->lbxSites ? site : path).toStdString());
        ASSERT_GE(row, 0);
        EXPECT_EQ(listBox->horizontalScrollBar()->maximum(), 0);
        const QRect rect = listBox->visualItemRect(listBox->item(row));
        EXPECT_LE(rect.right(), listBox->viewport()->rect().right());
        const QString caption = QString::fromStdString(ListBoxItemObject(listBox, row)->Caption);
        EXPECT_GE(caption.size(), 90);
        EXPECT_EQ(tipAt(listBox, row), caption);
        QToolTip::hideText();

        // A press on the check box at the row's right end takes the check mark off.
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(listBox->viewport()->width() - 8, rect.center().y()),
            listBox->viewport()->mapToGlobal(QPointF(listBox->viewport()->width() - 8, rect.center().y())),
            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(listBox->viewport(), &press);
        EXPECT_FALSE(ListBoxItemObject(listBox, row)->Checked);
    }
}

TEST_F(AddWizard, UncheckingAListedApplicationFollowsTheRightsLevel)
{
    StoredItemAdd("/usr/games/chess", "Chess", mitApp);
    StoredItemAdd("/usr/games/mines", "Mines", mitApp);
    TOptions& options = OptionsInstance();
    options.SetPassword("Secret");
    TModalAnswers answers;

    // Level 2: the entry is simply unchecked; the caller then takes it off.
    RightsSet(2);
    Open();
    m_window->SitesNext();
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, RowOf(m_window->lbxAppProcesses, "/usr/games/chess"));
    m_window->Finish();
    ASSERT_NE(nullptr, ResultItem("/usr/games/chess"));
    EXPECT_FALSE(ResultItem("/usr/games/chess")->Checked);
    EXPECT_TRUE(ResultItem("/usr/games/chess")->Active);
    EXPECT_TRUE(ResultItem("/usr/games/mines")->Checked);

    // Level 1, the day's immediate removal unused: every unchecking removes, and Finish records it.
    RightsSet(1);
    options.MonitoredItemDeleteActionProcessed = false;
    Open();
    m_window->SitesNext();
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, RowOf(m_window->lbxAppProcesses, "/usr/games/chess"));
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, RowOf(m_window->lbxAppProcesses, "/usr/games/mines"));
    m_window->Finish();
    EXPECT_FALSE(ResultItem("/usr/games/chess")->Checked);
    EXPECT_FALSE(ResultItem("/usr/games/mines")->Checked);
    EXPECT_TRUE(ResultItem("/usr/games/mines")->Active);
    EXPECT_TRUE(options.MonitoredItemDeleteActionProcessed);

    // Level 1 afterwards: the entry stays, inactive, until the daily reset.
    Open();
    m_window->SitesNext();
    const int row = RowOf(m_window->lbxAppProcesses, "/usr/games/chess");
    m_window->lbxAppProcesses->setCurrentRow(row);
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, row);
    EXPECT_EQ(-1, m_window->lbxAppProcesses->currentRow());
    m_window->Finish();
    EXPECT_FALSE(ResultItem("/usr/games/chess")->Checked);
    EXPECT_FALSE(ResultItem("/usr/games/chess")->Active);

    // Level 0: the password decides; refused, the check mark stays.
    RightsSet(0);
    Open();
    m_window->SitesNext();
    if (ProductEdition != 2) {
        answers.Add(PasswordAnswer("", false));
    }
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, RowOf(m_window->lbxAppProcesses, "/usr/games/mines"));
    if (ProductEdition != 2) {
        EXPECT_TRUE(ListBoxItemObject(m_window->lbxAppProcesses, RowOf(m_window->lbxAppProcesses, "/usr/games/mines"))
                        ->Checked);
        answers.Add(PasswordAnswer("Secret"));
        m_window->CheckMarkFlip(m_window->lbxAppProcesses, RowOf(m_window->lbxAppProcesses, "/usr/games/mines"));
    }
    m_window->Finish();
    EXPECT_FALSE(ResultItem("/usr/games/mines")->Checked);
    EXPECT_EQ(ProductEdition == 2 ? 0 : 2, answers.PasswordWindows);
}

TEST_F(AddWizard, ResultHoldsEachNameOnceTheFirstSourceWinning)
{
    StoredItemAdd("/usr/games/chess", "Chess", mitApp);
    StoredItemAdd("example.com", "Example", mitWeb);
    m_installed.MenuApplicationAdd("Mail Reader", "/opt/mail/mail");
    m_installed.MenuApplicationAdd("Chess Game", "/usr/games/chess");
    m_installed.ExecutableAdd("/opt/mail/mail");
    m_processes.ProcessAdd(42, "/usr/bin/xterm");
    m_processes.ProcessAdd(43, DataLocations().ProgramFileName);
    Open();
    m_window->SitesNext();
    m_window->ScanNext();
    m_window->edApp->setText(QStringLiteral("/opt/mail/mail"));
    m_window->edAppTag->setText(QStringLiteral("My Mail"));
    ASSERT_TRUE(m_window->ItemAdd(mitApp));
    m_window->AppsBack();
    m_window->btnScanClick();
    // The scan's find of the same program goes in as a checked find too, behind the typed one.
    const int mail = RowOf(m_window->lbxAppProcesses, "/opt/mail/mail");
    ASSERT_GE(mail, 0);
    EXPECT_EQ("My Mail", ListBoxItemObject(m_window->lbxAppProcesses, mail)->Caption) << "typed before the scan";
    EXPECT_GE(RowOf(m_window->lbxAppProcesses, "/usr/bin/xterm"), 0) << "running programs are offered";
    EXPECT_EQ(-1, RowOf(m_window->lbxAppProcesses, DataLocations().ProgramFileName)) << "but never this one";
    const int xterm = RowOf(m_window->lbxAppProcesses, "/usr/bin/xterm");
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, xterm);
    EXPECT_EQ(1, m_window->CheckedScanFinds().Count());
    m_window->ScanNext();
    m_window->Finish();
    ASSERT_EQ(4, m_result.Count());
    EXPECT_EQ("Chess", ResultItem("/usr/games/chess")->Caption) << "the list's own entry wins over the scan's";
    EXPECT_EQ("My Mail", ResultItem("/opt/mail/mail")->Caption);
    EXPECT_TRUE(ResultItem("/usr/bin/xterm")->Checked);
    EXPECT_TRUE(ResultItem("example.com")->Checked);
}

// A program typed by name is listed by the path its running process shows, the only form the
// matching rule knows; a name no program answers to is refused with a message, never listed.
TEST_F(AddWizard, TypedProgramsAreListedByTheirRunningPathAndUnknownOnesRefused)
{
    m_installed.TypedProgramAdd("xterm", "/usr/bin/xterm");
    m_processes.ProcessAdd(7, "/opt/game/bin/game");
    Open();
    m_window->SitesNext();
    m_window->ScanNext();
    TModalAnswers answers;
    m_window->edApp->setText(QStringLiteral("xterm"));
    EXPECT_TRUE(m_window->ItemAdd(mitApp));
    m_window->edApp->setText(QStringLiteral("game"));
    m_window->edAppTag->setText(QStringLiteral("My Game"));
    EXPECT_TRUE(m_window->ItemAdd(mitApp)) << "found among the running programs";
    m_window->edApp->setText(QStringLiteral("steam"));
    EXPECT_FALSE(m_window->ItemAdd(mitApp));
    ASSERT_EQ(answers.Messages.size(), 1u);
    EXPECT_EQ(answers.Messages[0],
        "Please Note: No program \"steam\" was found. Type its file name as it runs, or its full address, or "
        "choose it with Browse.");
    EXPECT_EQ("steam", m_window->edApp->text().toStdString()) << "the refused name stays to be corrected";
    EXPECT_EQ(-1, RowOf(m_window->lbxApps, "steam"));
    m_window->Finish();
    ASSERT_EQ(2, m_result.Count());
    ASSERT_NE(nullptr, ResultItem("/usr/bin/xterm"));
    EXPECT_EQ("xterm", ResultItem("/usr/bin/xterm")->Caption);
    ASSERT_NE(nullptr, ResultItem("/opt/game/bin/game"));
    EXPECT_EQ("My Game", ResultItem("/opt/game/bin/game")->Caption);
}

TEST_F(AddWizard, FilterAndCheckingAFindMovesItBackAndForth)
{
    m_installed.MenuApplicationAdd("Solitaire", "/usr/games/sol");
    m_installed.MenuApplicationAdd("Mail", "/opt/mail/mail");
    Open();
    m_window->SitesNext();
    // The window's title names the page, in the desktop's task list as in the header.
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("Add Applications by Scanning"));
    EXPECT_EQ(m_window->lblCaption->text(), QStringLiteral("Add Applications by Scanning"));
    m_window->btnScanClick();
    m_window->edtFilter->setText(QStringLiteral("SOLI"));
    emit m_window->edtFilter->textEdited(m_window->edtFilter->text());
    EXPECT_EQ(0, RowOf(m_window->lbxAppProcesses, "/usr/games/sol"));
    EXPECT_EQ(-1, RowOf(m_window->lbxAppProcesses, "/opt/mail/mail"));
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, 0);
    EXPECT_EQ(1, m_window->CheckedScanFinds().Count());
    m_window->CheckMarkFlip(m_window->lbxAppProcesses, 0);
    EXPECT_EQ(0, m_window->CheckedScanFinds().Count());
    EXPECT_EQ(2, m_window->ScanResults().Count());
    m_window->Finish();
    EXPECT_EQ(0, m_result.Count());
}

TEST_F(AddWizard, StopDuringACompleteScanKeepsWhatWasFound)
{
    for (const char* folder : { "a", "b", "c", "d", "e" }) {
        m_installed.ExecutableAdd(std::string("/opt/") + folder + "/" + folder + "-game");
    }
    m_installed.ApplicationFolderAdd("/opt/");
    int listingsOfC = 0;
    m_installed.OnFolderList = [&](const std::string& folder) {
        // The second listing of c is the walk's (the first is the count's): the user presses Stop.
        if (folder == "/opt/c/" && ++listingsOfC == 2) {
            QMetaObject::invokeMethod(m_window->btnScan, "click", Qt::QueuedConnection);
        }
    };
    Open();
    m_window->SitesNext();
    m_window->cbxScanningAlghorithm->setCurrentIndex(1);
    m_window->btnScanClick();
    EXPECT_FALSE(m_window->Scanning());
    EXPECT_EQ("Scan", m_window->btnScan->text().toStdString());
    EXPECT_TRUE(m_window->ggScan->isHidden());
    EXPECT_FALSE(m_window->edtFilter->isHidden());
    EXPECT_EQ("Filter", m_window->lblFilter->text().toStdString());
    EXPECT_EQ(4, m_window->FoldersVisited()) << "the stop came at the next folder; no second scan was started";
    EXPECT_EQ(3, m_window->ScanResults().Count());
    EXPECT_GE(RowOf(m_window->lbxAppProcesses, "/opt/c/c-game"), 0);
    EXPECT_EQ(-1, RowOf(m_window->lbxAppProcesses, "/opt/d/d-game"));
}

TEST_F(AddWizard, BrowseFillsTheBoxesWithTheProgramARunningProcessShows)
{
    m_installed.ExecutableAdd("/usr/bin/browser", "/usr/lib/browser/browser");
    m_installed.MenuApplicationAdd("Web Browser", "/usr/lib/browser/browser");
    TfrmAppSiteAddWizard::FileDialogHookSet([](QWidget*) { return QStringLiteral("/usr/bin/browser"); });
    Open();
    m_window->SitesNext();
    m_window->ScanNext();
    m_window->btnBrowseClick();
    TfrmAppSiteAddWizard::FileDialogHookSet(nullptr);
    EXPECT_EQ("/usr/lib/browser/browser", m_window->edApp->text().toStdString());
    EXPECT_EQ("Web Browser", m_window->edAppTag->text().toStdString());

#ifndef Q_OS_WIN
    // The dialog itself lists folders and the files that can be run, not what lies beside them.
    namespace fs = std::filesystem;
    const fs::path folder = m_temp.Path() / "game";
    fs::create_directories(folder / "data");
    for (const char* name : { "game", "start.sh", "game.log", "game.pid" }) {
        std::ofstream(folder / name) << "#!/bin/sh\n";
    }
    for (const char* name : { "game", "start.sh" }) {
        fs::permissions(folder / name, fs::perms::owner_exec, fs::perm_options::add);
    }
    std::unique_ptr<QFileDialog> dialog(TfrmAppSiteAddWizard::ProgramDialogMake(m_window));
    auto* proxy = dialog->proxyModel();
    ASSERT_NE(proxy, nullptr);
    auto* files = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
    ASSERT_NE(files, nullptr);
    const QString path = QString::fromStdString(folder.string());
    QEventLoop loaded;
    QObject::connect(files, &QFileSystemModel::directoryLoaded, &loaded, [&](const QString& done) {
        if (done == path) {
            loaded.quit();
        }
    });
    QTimer::singleShot(10000, &loaded, &QEventLoop::quit);
    dialog->setDirectory(path);
    loaded.exec();
    const QModelIndex shown = proxy->mapFromSource(files->index(path));
    std::vector<std::string> names;
    for (int row = 0; row < proxy->rowCount(shown); ++row) {
        names.push_back(proxy->index(row, 0, shown).data().toString().toStdString());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string> { "data", "game", "start.sh" }), names);
#endif
}
