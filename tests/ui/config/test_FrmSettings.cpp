#include "ConfigTestSupport.h"

#include "QtTestMain.h"

#include "ui/config/FrmAppSiteAddWizard.h"
#include "ui/config/FrmSettings.h"
#include "ui/framework/Appearance.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"

#include "storage/SQLiteDatabase.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>

#include <sqlite3.h>

namespace {

class SettingsWizard : public ConfigTest
{
protected:
    void TearDown() override
    {
        TfrmSettings::AddWizardHookSet(nullptr);
        TfrmSettings::FileDialogHookSet(nullptr);
        TfrmSettings::ColorDialogHookSet(nullptr);
        if (m_window) {
            delete m_window.data();
        }
        ConfigTest::TearDown();
    }
    TfrmSettings* Open(bool firstRun)
    {
        m_window = new TfrmSettings(OptionsInstance(), TAppSiteSources());
        QObject::connect(m_window.data(), &QDialog::finished, [this](int code) { m_result = code; });
        m_window->Prepare(firstRun);
        return m_window;
    }
    std::vector<std::string> PageNames() const
    {
        std::vector<std::string> names;
        for (QWidget* page : m_window->VisiblePages()) {
            names.push_back(page->objectName().toStdString());
        }
        return names;
    }
    // Goes on past the Logon page with a password where the edition has that page.
    void PastLogon(const QString& password)
    {
        if (m_window->ActivePage() == m_window->tsLogon) {
            m_window->edtStart_Password->setText(password);
            m_window->edtStart_ConfirmPassword->setText(password);
            m_window->StepNext();
        }
    }
    int ComboIndex(QComboBox* combo, const char* text)
    {
        return combo->findText(QString::fromLatin1(text));
    }

    QPointer<TfrmSettings> m_window;
    int m_result = -1;
};

int RowsIn(const std::string& database, const std::string& table)
{
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + table).c_str(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            rows = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

} // namespace

TEST_F(SettingsWizard, PagesInOrderForTheEditionAndFirstRunAppliesWithoutPassword)
{
    Open(true);
    if (ProductEdition == 2) {
        EXPECT_EQ((std::vector<std::string> { "tsBackground", "tsMonitoredList", "tsExpiration", "tsReminder" }),
            PageNames());
        EXPECT_TRUE(OptionsInstance().AdminMode) << "a first run of this edition is an administrator's";
    } else {
        EXPECT_EQ(
            (std::vector<std::string> { "tsBackground", "tsLogon", "tsMonitoredList", "tsExpiration", "tsReminder" }),
            PageNames());
    }
    EXPECT_EQ(m_window->tsBackground, m_window->ActivePage());
    EXPECT_EQ("Cancel", m_window->btnBack->text().toStdString());
    EXPECT_EQ("Next >", m_window->btnNext->text().toStdString());
    m_window->StepNext();
    PastLogon(QStringLiteral("pw"));
    EXPECT_EQ(m_window->tsMonitoredList, m_window->ActivePage());
    EXPECT_EQ("< Back", m_window->btnBack->text().toStdString());
    m_window->StepNext();
    m_window->StepNext();
    EXPECT_EQ(m_window->tsReminder, m_window->ActivePage());
    EXPECT_EQ("Apply", m_window->btnNext->text().toStdString());
    m_window->StepBack();
    EXPECT_EQ(m_window->tsExpiration, m_window->ActivePage());
    m_window->StepNext();
    m_window->memReminder->setPlainText(QStringLiteral("Write the report"));
    m_window->cbRemiderChangePeriod->setCurrentIndex(2);
    m_window->medTimeLimit->setText(QStringLiteral("01:30"));
    m_window->StepNext();
    m_window->StepNext();
    EXPECT_EQ(QDialog::Accepted, m_result);
    TOptions& options = OptionsInstance();
    EXPECT_FALSE(options.AdminMode) << "Apply locks the settings";
    EXPECT_EQ(5400, options.TimeLimitSeconds);
    EXPECT_EQ("Write the report", options.ReminderText(0));
    EXPECT_EQ(2, options.ReminderChangePeriod);
    EXPECT_EQ(ProductEdition == 2 ? "" : PasswordDigest("pw"), options.Password);
}

TEST_F(SettingsWizard, TimeLimitMessagesKeepTheUserOnThePage)
{
    Open(true);
    m_window->StepNext();
    PastLogon(QStringLiteral("pw"));
    m_window->StepNext();
    ASSERT_EQ(m_window->tsExpiration, m_window->ActivePage());
    TModalAnswers answers;
    for (const char* entry : { "00:00", "24:00", "12:75" }) {
        m_window->medTimeLimit->setText(QString::fromLatin1(entry));
        m_window->StepNext();
        EXPECT_EQ(m_window->tsExpiration, m_window->ActivePage()) << entry;
    }
    m_window->medTimeLimit->setText(QStringLiteral("23:59"));
    m_window->StepNext();
    EXPECT_EQ(m_window->tsReminder, m_window->ActivePage());
    EXPECT_EQ((std::vector<std::string> { "Please Note: Limit can't be empty",
                  "Please Note: '24:00' is not a valid time", "Please Note: '12:75' is not a valid time" }),
        answers.Messages);
}

TEST_F(SettingsWizard, CancelWritesTheFourAppearanceValuesBack)
{
    TAppearanceMemory& appearance = TestAppearance();
    appearance.TextColor = 0xFFFFFF;
    appearance.BackgroundColor = 0x123456;
    appearance.BackgroundImage = m_temp.Text() + "picture.png";
    appearance.Transparency = 33;
    Open(false);
    EXPECT_EQ("0", m_window->cbxTransparency->currentText().toStdString()) << "33 is no item";
    // A colour without a name is named red, green, blue, as the user reads colours elsewhere.
    EXPECT_EQ("#563412", m_window->cbxColor->currentText().toStdString());
    TfrmSettings::ColorDialogHookSet([](const QColor&) { return QColor(0x00, 0x00, 0x7F); });
    m_window->cbxTextColorSelect(ComboIndex(m_window->cbxTextColor, "Custom..."));
    EXPECT_EQ(0x7F0000u, appearance.TextColor);
    EXPECT_EQ("#00007F", m_window->cbxTextColor->currentText().toStdString());

    const std::string chosen = m_temp.Text() + "other.png";
    TfrmSettings::FileDialogHookSet([&](const QString&) { return QString::fromStdString(chosen); });
    m_window->cbxImageSelect(0);
    EXPECT_EQ(chosen, appearance.BackgroundImage);
    m_window->cbxTextColorSelect(ComboIndex(m_window->cbxTextColor, "Red"));
    EXPECT_EQ(0x0000FFu, appearance.TextColor);
    m_window->cbxTransparencySelect(ComboIndex(m_window->cbxTransparency, "50"));
    EXPECT_EQ(50, appearance.Transparency);
    EXPECT_EQ(127, m_window->AlphaBlendValue());
    m_window->cbxColorSelect(ComboIndex(m_window->cbxColor, "Navy"));
    EXPECT_EQ(0x800000u, appearance.BackgroundColor);
    EXPECT_EQ("", appearance.BackgroundImage) << "a chosen colour replaces the picture";
    EXPECT_EQ("<No Image>", m_window->cbxImage->currentText().toStdString());

    m_window->StepNext();
    PastLogon(QStringLiteral("pw"));
    m_window->StepBack();
    if (ProductEdition != 2) {
        m_window->StepBack();
    }
    EXPECT_EQ(-1, m_result);
    m_window->StepBack();
    EXPECT_EQ(QDialog::Rejected, m_result);
    EXPECT_EQ(0xFFFFFFu, appearance.TextColor);
    EXPECT_EQ(0x123456u, appearance.BackgroundColor);
    EXPECT_EQ(m_temp.Text() + "picture.png", appearance.BackgroundImage);
    EXPECT_EQ(33, appearance.Transparency);
}

TEST_F(SettingsWizard, AddMergesTheResultAndApplyWritesBothDatabases)
{
    StoredItemAdd("/usr/bin/gone", "Gone", mitApp);
    StoredItemAdd("news.example", "News", mitWeb);
    OptionsInstance().ListSave();
    Open(true);
    m_window->StepNext();
    PastLogon(QStringLiteral("pw"));
    TfrmSettings::AddWizardHookSet(
        [](TOptions&, const TMonitoredList& working, TMonitoredList& result, TAppSiteSources) {
            EXPECT_EQ(2, working.Count());
            EXPECT_EQ(0, result.Count());
            const auto add = [&](const char* name, const char* caption, TMonitoredItemType kind, bool checked) {
                auto item = std::make_unique<TMonitoredItem>();
                item->Name = name;
                item->Caption = caption;
                item->ItemType = kind;
                item->Checked = checked;
                result.Add(caption, std::move(item));
            };
            add("/usr/bin/gone", "Gone", mitApp, false);
            add("news.example", "Daily News", mitWeb, true);
            add("/usr/games/chess", "Chess", mitApp, true);
            add("/opt/tallyhour/tallyhour", "Myself", mitApp, true);
        });
    m_window->btnAddClick();
    const TMonitoredList& working = m_window->WorkingList();
    ASSERT_EQ(2, working.Count());
    EXPECT_EQ("Chess", working.Items(0)->Caption);
    EXPECT_EQ("Daily News", working.Items(1)->Caption);
    EXPECT_EQ(2, OptionsInstance().MonitoredItems().Count()) << "the store's list waits for Apply";
    EXPECT_EQ("Chess", m_window->lbxAppSites->item(0)->text().toStdString());

    m_window->StepNext();
    m_window->StepNext();
    m_window->StepNext();
    ASSERT_EQ(QDialog::Accepted, m_result);
    for (const std::string& database : { DataLocations().SettingsDbFileName, DataLocations().ActivityDbFileName }) {
        EXPECT_EQ(1, RowsIn(database, "applications_list")) << database;
        EXPECT_EQ(1, RowsIn(database, "websites_list")) << database;
    }
    OptionsInstanceFree();
    EXPECT_EQ(0, OptionsInstance().MonitoredItems().NameIndexGet("/usr/games/chess"));
}

TEST_F(SettingsWizard, DeleteRemovesForTheAdministratorAndGreysForTheUser)
{
    StoredItemAdd("/usr/games/chess", "Chess", mitApp);
    StoredItemAdd("/usr/games/mines", "Mines", mitApp);
    OptionsInstance().AllowUserToChangeSettings = true;
    Open(false);
    m_window->StepNext();
    if (ProductEdition != 2) {
        m_window->StepNext(); // an empty password: on without administrator mode
        EXPECT_FALSE(OptionsInstance().AdminMode);
    }
    ASSERT_EQ(m_window->tsMonitoredList, m_window->ActivePage());
    TModalAnswers answers;
    answers.Add(ConfirmAnswer(true));
    m_window->lbxAppSites->setCurrentRow(0);
    m_window->btnDeleteClick();
    EXPECT_EQ(1, answers.DeleteConfirms);
    ASSERT_EQ(2, m_window->WorkingList().Count()) << "a user's removal waits for the reset";
    EXPECT_FALSE(m_window->WorkingList().Items(0)->Active);
    EXPECT_EQ(-1, m_window->lbxAppSites->currentRow());

    OptionsInstance().AdminMode = true;
    answers.Add(ConfirmAnswer(false));
    m_window->lbxAppSites->setCurrentRow(1);
    m_window->btnDeleteClick();
    EXPECT_EQ(2, m_window->WorkingList().Count()) << "not confirmed";
    answers.Add(ConfirmAnswer(true));
    m_window->lbxAppSites->setCurrentRow(1);
    m_window->btnDeleteClick();
    ASSERT_EQ(1, m_window->WorkingList().Count());
    EXPECT_EQ("Chess", m_window->WorkingList().Items(0)->Caption);
    m_window->lbxAppSites->setCurrentRow(3);
    m_window->btnDeleteClick();
    EXPECT_EQ(3, answers.DeleteConfirms) << "an empty row asks nothing";
}

TEST_F(SettingsWizard, LogonPasswordRulesBelowEditionTwo)
{
    if (ProductEdition == 2) {
        GTEST_SKIP() << "this edition has no Logon page";
    }
    TModalAnswers answers;
    Open(true);
    m_window->StepNext();
    ASSERT_EQ(m_window->tsLogon, m_window->ActivePage());
    EXPECT_FALSE(m_window->edtStart_ConfirmPassword->isHidden()) << "no password yet: asked twice";
    EXPECT_TRUE(m_window->btnChangePassword->isHidden());
    EXPECT_TRUE(m_window->lblStart_Description->text().startsWith(QStringLiteral("Please set Admin Password.")));
    m_window->edtStart_Password->setText(QStringLiteral("pw"));
    m_window->edtStart_ConfirmPassword->setText(QStringLiteral("PW"));
    m_window->StepNext();
    m_window->edtStart_Password->setText(QStringLiteral(" "));
    m_window->edtStart_ConfirmPassword->setText(QStringLiteral(" "));
    m_window->StepNext();
    EXPECT_EQ(m_window->tsLogon, m_window->ActivePage());
    EXPECT_EQ((std::vector<std::string> {
                  "Please Note: The passwords entered are not the same", "Please Note: A password is required" }),
        answers.Messages);
    m_window->StepBack();
    m_window->StepBack();
    delete m_window.data();

    // Normal mode with a password stored: a wrong one is refused, an empty one goes on without
    // administrator mode and, without the user's rights, without the list's commands.
    OptionsInstance().SetPassword("Secret");
    OptionsInstance().AdminMode = false;
    OptionsInstance().AllowUserToChangeSettings = false;
    answers.Messages.clear();
    Open(false);
    m_window->StepNext();
    EXPECT_TRUE(m_window->edtStart_ConfirmPassword->isHidden());
    EXPECT_FALSE(m_window->btnChangePassword->isHidden());
    EXPECT_FALSE(m_window->AllowUserShown());
    m_window->edtStart_Password->setText(QStringLiteral("Secret"));
    EXPECT_TRUE(m_window->AllowUserShown()) << "the stored password shows the toggle";
    m_window->edtStart_Password->setText(QStringLiteral("Wrong"));
    EXPECT_FALSE(m_window->AllowUserShown());
    m_window->StepNext();
    EXPECT_EQ((std::vector<std::string> { "Please Note: Invalid password" }), answers.Messages);
    m_window->edtStart_Password->clear();
    m_window->StepNext();
    EXPECT_EQ(m_window->tsMonitoredList, m_window->ActivePage());
    EXPECT_FALSE(OptionsInstance().AdminMode);
    EXPECT_TRUE(m_window->btnAdd->isHidden());
    EXPECT_FALSE(m_window->cbxExpirationAction->isEnabled());
    m_window->StepBack();
    m_window->edtStart_Password->setText(QStringLiteral("Secret"));
    m_window->AllowUserToggle();
    m_window->StepNext();
    EXPECT_TRUE(OptionsInstance().AdminMode);
    EXPECT_FALSE(m_window->btnAdd->isHidden());
    m_window->StepNext();
    m_window->StepNext();
    m_window->StepNext();
    EXPECT_EQ(QDialog::Accepted, m_result);
    EXPECT_TRUE(OptionsInstance().AllowUserToChangeSettings) << "the toggle, flipped with the right password";
    EXPECT_FALSE(OptionsInstance().AdminMode);
}

TEST_F(SettingsWizard, OneSizeThroughThePagesAndTheAddWizardWithTheBorderAtTheBottom)
{
    // A wider font than the designed one (as on a desktop without Arial) wraps the pages' texts
    // onto more lines: each page grows by a different amount, the list page by less than the first.
    m_window = new TfrmSettings(OptionsInstance(), TAppSiteSources());
    QFont wide = m_window->font();
    wide.setPixelSize(15);
    m_window->setFont(wide);
    m_window->Prepare(true);
    m_window->show();
    QApplication::processEvents();
    const QSize size = m_window->size();
    ASSERT_GT(size.height(), 400) << "the texts must wrap for this test to say anything";
    const auto bottomBand
        = [&] { return m_window->grab().toImage().copy(0, m_window->height() - 12, m_window->width(), 12); };
    const QImage firstBand = bottomBand();
    // The window and its skinned body end together, the buttons at their designed distance above.
    const auto frameHolds = [&](const char* when) {
        EXPECT_EQ(size.height(), m_window->height()) << when;
        EXPECT_EQ(size.width(), m_window->width()) << when;
        EXPECT_EQ(m_window->rect().bottom(), m_window->pnlBody->geometry().bottom()) << when;
        EXPECT_EQ(12, m_window->height() - m_window->btnNext->geometry().bottom() - 1) << when;
        EXPECT_EQ(m_window->btnNext->y(), m_window->btnBack->y()) << when;
    };

    m_window->StepNext();
    PastLogon(QStringLiteral("pw"));
    ASSERT_EQ(m_window->tsMonitoredList, m_window->ActivePage());
    frameHolds("list page");
    EXPECT_LT(m_window->btnAdd->geometry().bottom(), m_window->btnNext->y()) << "the page stays above the buttons";

    TModalAnswers answers;
    answers.Add([](QWidget* modal) {
        auto* wizard = qobject_cast<TfrmAppSiteAddWizard*>(modal);
        ASSERT_NE(nullptr, wizard);
        wizard->edURL->setText(QStringLiteral("news.example"));
        wizard->ItemAdd(mitWeb);
        wizard->SitesNext();
        wizard->ScanNext();
        wizard->Finish();
    });
    m_window->btnAddClick();
    QApplication::processEvents();
    ASSERT_EQ(1, m_window->WorkingList().Count());
    frameHolds("after an entry was added");
    answers.Add([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    m_window->btnAddClick();
    QApplication::processEvents();
    frameHolds("after the add wizard was cancelled");

    m_window->StepNext();
    m_window->StepNext();
    frameHolds("reminder page");
    while (m_window->ActivePage() != m_window->tsBackground) {
        m_window->StepBack();
    }
    frameHolds("back on the first page");
    EXPECT_EQ(firstBand, bottomBand()) << "the bottom border is drawn where it was at the first show";
}
