#pragma once

#include "ui/framework/FrmBase.h"

#include "model/MonitoredObjects.h"

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QFileDialog;
class QListWidget;
class QPlainTextEdit;
class QStackedWidget;
class QTimer;
class TApplicationDiscovery;
class TGauge;
class TImageButton;
class TInstalledApplications;
class TOptions;
class TProcesses;

// Where the add wizard finds programs; a missing service (none) finds nothing.
struct TAppSiteSources
{
    TInstalledApplications* Installed = nullptr;
    TProcesses* Processes = nullptr;
};

// A three-page wizard on private lists: sites typed in, applications found by a scan or running,
// applications typed in or picked as a file. It leaves a result list behind that its caller
// merges into its own list; it never changes the caller's list.
class TfrmAppSiteAddWizard : public TfrmBase
{
    Q_OBJECT

public:
    TfrmAppSiteAddWizard(TOptions& options, const TMonitoredList& callerList, TMonitoredList& result,
        TAppSiteSources sources, QWidget* parent = nullptr);
    ~TfrmAppSiteAddWizard() override;

    // Opens the wizard modally; the caller reads `result` afterwards: what "Finish" handed back,
    // nothing after Cancel.
    static void Execute(TOptions& options, const TMonitoredList& callerList, TMonitoredList& result,
        TAppSiteSources sources, QWidget* parent = nullptr);
    // Fills the Sites list and shows the first page (Execute does it before showing the window).
    void Prepare();

    // Replaces the file dialog of "Browse" (tests); it gets the window and answers a path or empty.
    static void FileDialogHookSet(std::function<QString(QWidget*)> hook);
    // The window "Browse" opens: folders and the files that can be run, one to choose.
    static QFileDialog* ProgramDialogMake(QWidget* parent);

    QStackedWidget* pgcWizard = nullptr;
    QWidget* tsMonitoredSites = nullptr;
    QWidget* tsAppProcesses = nullptr;
    QWidget* tsApps = nullptr;

    QLineEdit* edURL = nullptr;
    QLineEdit* edTag = nullptr;
    TImageButton* btnAddSite = nullptr;
    QListWidget* lbxSites = nullptr;
    TImageButton* btnSitesCancel = nullptr;
    TImageButton* btnSitesNext = nullptr;

    QComboBox* cbxScanningAlghorithm = nullptr;
    TImageButton* btnScan = nullptr;
    QLabel* lblFilter = nullptr;
    QLineEdit* edtFilter = nullptr;
    TGauge* ggScan = nullptr;
    QListWidget* lbxAppProcesses = nullptr;
    QPlainTextEdit* mmAppInfo = nullptr;
    TImageButton* btnScanBack = nullptr;
    TImageButton* btnScanNext = nullptr;
    QTimer* tmrEnumFolders = nullptr;

    QLineEdit* edApp = nullptr;
    QLineEdit* edAppTag = nullptr;
    TImageButton* btnAddApp = nullptr;
    TImageButton* btnBrowse = nullptr;
    QListWidget* lbxApps = nullptr;
    QPlainTextEdit* mmAppInfoApp = nullptr;
    TImageButton* btnAppsBack = nullptr;
    TImageButton* btnFinish = nullptr;

    QAction* miEnter = nullptr;
    QAction* miEscape = nullptr;
    QAction* miSiteDelete = nullptr;

    // Navigation and commands, as the buttons and keys run them.
    void SitesNext();
    void ScanBack();
    void ScanNext();
    void AppsBack();
    void Finish();
    // Adds what the page's boxes hold; true when the Add counted as done.
    bool ItemAdd(TMonitoredItemType kind);
    void btnBrowseClick();
    void btnScanClick();
    void SiteDelete();
    // Flips the check mark of a row, as a press at the row's right end does.
    void CheckMarkFlip(QListWidget* listBox, int row);

    bool Scanning() const
    {
        return m_scanning;
    }
    int FoldersVisited() const
    {
        return m_foldersVisited;
    }
    const TMonitoredList& ScanResults() const
    {
        return *m_scanResults;
    }
    const TMonitoredList& CheckedScanFinds() const
    {
        return *m_checkedScanFinds;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ResultBuild(TMonitoredList& result) const;
    void SitesRefill();
    void ScanPageRefill();
    void AppsPageRefill();
    void PageShow(QWidget* sheet, const QString& title);
    void EnterPressed();
    void EscapePressed();
    void CheckOn(TMonitoredItem* shown, bool application);
    void CheckOff(QListWidget* listBox, TMonitoredItem* shown, bool application);
    bool ScanStep();
    void RowSelected(QListWidget* listBox);
    void RowDoubleClicked(QListWidget* listBox);
    QListWidget* ListAdd(QWidget* sheet, const QString& name, const QRect& geometry);

    TOptions& m_options;
    const TMonitoredList& m_callerList;
    TMonitoredList& m_result;
    TAppSiteSources m_sources;
    std::unique_ptr<TApplicationDiscovery> m_discovery;

    std::unique_ptr<TMonitoredList> m_existingApps;
    std::unique_ptr<TMonitoredList> m_sites;
    std::unique_ptr<TMonitoredList> m_manualApps;
    std::unique_ptr<TMonitoredList> m_uncheckedManualApps;
    std::unique_ptr<TMonitoredList> m_checkedScanFinds;
    std::unique_ptr<TMonitoredList> m_scanResults;
    std::unique_ptr<TMonitoredList> m_scanPageList;
    std::unique_ptr<TMonitoredList> m_appsPageList;

    bool m_scanFirst = false;
    bool m_nameFirst = false;
    bool m_scanRan = false;
    bool m_firstUserDeletionUsed = false;
    bool m_stopRequested = false;
    bool m_scanning = false;
    int m_foldersVisited = 0;
    int m_foldersTotal = 0;
};
