#pragma once

#include "ui/config/FrmAppSiteAddWizard.h"
#include "ui/framework/FrmBase.h"

#include "model/MonitoredObjects.h"
#include "ui/main/SkinList.h"

#include <functional>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QStackedWidget;
class TImageButton;
class TOptions;

// The settings wizard: appearance, (password,) time-limit list, limit and action, reminders,
// page by page. It edits copies and hands them to the settings store only on "Apply"; the
// appearance is the exception, applied at once and written back by "Cancel".
class TfrmSettings : public TfrmBase
{
    Q_OBJECT

public:
    TfrmSettings(TOptions& options, TAppSiteSources sources, QWidget* parent = nullptr);
    ~TfrmSettings() override;

    // Opens the wizard modally; true exactly when the user finished with "Apply".
    static bool Execute(TOptions& options, TAppSiteSources sources, bool firstRun, QWidget* parent = nullptr);
    // The opening steps before the window is shown: pages, list, first page.
    void Prepare(bool firstRun);

    // Replaces the picture-file dialog (tests); it gets the start folder and answers a path or empty.
    static void FileDialogHookSet(std::function<QString(const QString& startFolder)> hook);
    // Replaces the colour dialog of the "Custom..." colour entries (tests).
    static void ColorDialogHookSet(std::function<QColor(const QColor& initial)> hook);

    QStackedWidget* pgcSettings = nullptr;
    QWidget* tsBackground = nullptr;
    QWidget* tsLogon = nullptr;
    QWidget* tsMonitoredList = nullptr;
    QWidget* tsExpiration = nullptr;
    QWidget* tsReminder = nullptr;
    TImageButton* btnBack = nullptr;
    TImageButton* btnNext = nullptr;

    QComboBox* cbxTextColor = nullptr;
    QComboBox* cbxColor = nullptr;
    QComboBox* cbxImage = nullptr;
    TImageButton* btnBrowseImage = nullptr;
    QComboBox* cbxTransparency = nullptr;

    QLabel* lblStart_Description = nullptr;
    QLineEdit* edtStart_Password = nullptr;
    QLabel* lblStart_ConfirmPassword = nullptr;
    QLineEdit* edtStart_ConfirmPassword = nullptr;
    TImageButton* btnChangePassword = nullptr;
    QLabel* lblAllowUser = nullptr;
    QLabel* imgAllowUserYes = nullptr;
    QLabel* imgAllowUserNo = nullptr;
    QLabel* lblForgotPassword = nullptr;
    QLabel* lblStorePassword = nullptr;
    QLabel* lblPasswordNote = nullptr;

    QListWidget* lbxAppSites = nullptr;
    TImageButton* btnAdd = nullptr;
    TImageButton* btnDelete = nullptr;

    QComboBox* cbxExpirationAction = nullptr;
    QLineEdit* medTimeLimit = nullptr;

    QComboBox* cbxReminder = nullptr;
    QPlainTextEdit* memReminder = nullptr;
    QComboBox* cbRemiderChangePeriod = nullptr;

    QAction* miNext = nullptr;
    QAction* miBack = nullptr;
    QAction* miAdd = nullptr;
    QAction* miDelete = nullptr;

    void StepNext();
    void StepBack();
    // The page shown now, or none before the first.
    QWidget* ActivePage() const
    {
        return m_activePage;
    }
    // The pages in the order the wizard walks them in this edition and mode.
    std::vector<QWidget*> VisiblePages() const;

    // The choices of the Background page, as picking them in the combos runs them.
    void cbxTextColorSelect(int index);
    void cbxColorSelect(int index);
    void cbxImageSelect(int index);
    void cbxTransparencySelect(int index);
    void AllowUserToggle();
    bool AllowUserShown() const;
    bool AllowUser() const;
    void btnAddClick();
    void btnDeleteClick();
    void btnChangePasswordClick();

    const TMonitoredList& WorkingList() const
    {
        return *m_workingList;
    }
    // Opening the add wizard; tests put a scripted one here. It gets the store, the working
    // list and the empty result list.
    static void AddWizardHookSet(
        std::function<void(TOptions&, const TMonitoredList&, TMonitoredList&, TAppSiteSources)> hook);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PageGo(QWidget* page);
    void AllowUserShow(bool shown);
    void LogonPrepare();
    void ExpirationLoad();
    void WorkingListLoad();
    void ReminderLoad();
    void ListRefill();
    void ColorBoxesSet();
    void ImageItemSelect();
    void ReminderMarksSet();
    bool PasswordRulePasses();
    void EditRightsApply();
    void Apply();
    void Cancel();
    bool LogonShown() const;

    TOptions& m_options;
    TAppSiteSources m_sources;
    bool m_firstRun = false;
    QWidget* m_activePage = nullptr;
    bool m_allowUser = false;
    bool m_allowUserShown = false;
    std::unique_ptr<TMonitoredList> m_workingList;
    std::string m_reminders[3];
    int m_reminderShown = 0;
    bool m_reminderLoading = false;
    uint32_t m_savedTextColor = 0;
    uint32_t m_savedColor = 0;
    std::string m_savedImage;
    int m_savedTransparency = 0;
    TSkinList m_skins;
};
