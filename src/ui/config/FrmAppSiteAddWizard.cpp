#include "ui/config/FrmAppSiteAddWizard.h"

#include "ui/config/AdminPassword.h"
#include "ui/config/ApplicationDiscovery.h"
#include "ui/config/ConfigControls.h"
#include "ui/config/MonitoredListDraw.h"
#include "ui/framework/Gauge.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ListBoxItems.h"

#include "model/DataLocations.h"
#include "model/TextHelpers.h"
#include "monitor/ProcessIdentification.h"
#include "storage/Options.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QTimer>

namespace {

std::function<QString(QWidget*)>& ProgramDialogHook()
{
    static std::function<QString(QWidget*)> hook;
    return hook;
}

#ifndef Q_OS_WIN
// What Browse lists besides folders: the files the user may run (their execute permission), not
// the logs, pid files and data lying beside a program.
class TRunnableFilesFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files) {
            return true;
        }
        const QFileInfo file = files->fileInfo(files->index(sourceRow, 0, sourceParent));
        return file.isDir() || file.isExecutable();
    }
};
#endif

// The columns of the three lists: the name up to x1, the kind up to x2, then the check box.
constexpr int kNameHeadWidth = 330;
constexpr int kTypeHeadWidth = 60;

std::unique_ptr<TMonitoredList> ListCreate()
{
    return std::make_unique<TMonitoredList>();
}

// Moves the entry named `name` from one list to another; false when `from` does not hold it.
bool ItemMove(TMonitoredList& from, TMonitoredList& to, const std::string& name, bool checked)
{
    const int index = from.NameIndexGet(name);
    if (index < 0) {
        return false;
    }
    auto copy = std::make_unique<TMonitoredItem>();
    copy->ItemAssign(*from.Items(index));
    copy->Checked = checked;
    const std::string key = from.Keys(index);
    from.Delete(index);
    to.Add(key, std::move(copy));
    return true;
}

} // namespace

void TfrmAppSiteAddWizard::FileDialogHookSet(std::function<QString(QWidget*)> hook)
{
    ProgramDialogHook() = std::move(hook);
}

QFileDialog* TfrmAppSiteAddWizard::ProgramDialogMake(QWidget* parent)
{
    auto* dialog = new QFileDialog(parent, QStringLiteral("Browse"));
    dialog->setFileMode(QFileDialog::ExistingFile);
#ifdef Q_OS_WIN
    dialog->setNameFilter(QStringLiteral("Executable Files (*.exe)"));
#else
    // Programs carry no name ending here; only the dialog's own list can ask for the permission.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setProxyModel(new TRunnableFilesFilter(dialog));
    dialog->setNameFilter(QStringLiteral("Executable Files (*)"));
#endif
    return dialog;
}

QListWidget* TfrmAppSiteAddWizard::ListAdd(QWidget* sheet, const QString& name, const QRect& geometry)
{
    ConfigHeadAdd(sheet, name + QStringLiteral("NameHead"), QStringLiteral("  Name"),
        QRect(geometry.left(), geometry.top() - 20, kNameHeadWidth, 20));
    ConfigHeadAdd(sheet, name + QStringLiteral("TypeHead"), QStringLiteral("Type"),
        QRect(geometry.left() + kNameHeadWidth, geometry.top() - 20, geometry.width() - kNameHeadWidth, 20));
    auto* listBox = new QListWidget(sheet);
    listBox->setObjectName(name);
    listBox->setGeometry(geometry);
    listBox->setItemDelegate(new TMonitoredListDraw(kNameHeadWidth - 6, kTypeHeadWidth, true, listBox));
    listBox->viewport()->installEventFilter(this);
    connect(listBox, &QListWidget::currentRowChanged, this, [this, listBox] { RowSelected(listBox); });
    connect(listBox, &QListWidget::itemDoubleClicked, this, [this, listBox] { RowDoubleClicked(listBox); });
    return listBox;
}

TfrmAppSiteAddWizard::TfrmAppSiteAddWizard(TOptions& options, const TMonitoredList& callerList, TMonitoredList& result,
    TAppSiteSources sources, QWidget* parent)
    : TfrmBase(parent)
    , m_options(options)
    , m_callerList(callerList)
    , m_result(result)
    , m_sources(sources)
    , m_existingApps(ListCreate())
    , m_sites(ListCreate())
    , m_manualApps(ListCreate())
    , m_uncheckedManualApps(ListCreate())
    , m_checkedScanFinds(ListCreate())
    , m_scanResults(ListCreate())
    , m_scanPageList(ListCreate())
    , m_appsPageList(ListCreate())
{
    if (m_sources.Installed) {
        m_discovery = std::make_unique<TApplicationDiscovery>(*m_sources.Installed);
    }
    resize(470, 470);
    setWindowTitle(QStringLiteral("Add Websites to your time-limit list"));
    pgcWizard = new QStackedWidget(this);
    pgcWizard->setGeometry(0, 36, 470, 434);
    pgcWizard->hide();

    // Sites.
    tsMonitoredSites = new QWidget(pgcWizard);
    tsMonitoredSites->setObjectName(QStringLiteral("tsMonitoredSites"));
    pgcWizard->addWidget(tsMonitoredSites);
    ConfigLabelAdd(tsMonitoredSites, QStringLiteral("lblSites"),
        QStringLiteral(
            "Enter Site Address eg www.sitename.com To time-limit all Sites, choose your Browsers in the next step"),
        QRect(16, 4, 438, 40));
    edURL = ConfigEditAdd(tsMonitoredSites, QStringLiteral("edURL"), QRect(16, 50, 340, 24));
    ConfigLabelAdd(
        tsMonitoredSites, QStringLiteral("lblTag"), QStringLiteral("Tag (optional):"), QRect(16, 84, 120, 22));
    edTag = ConfigEditAdd(tsMonitoredSites, QStringLiteral("edTag"), QRect(140, 82, 216, 24));
    btnAddSite = new TImageButton(tsMonitoredSites);
    btnAddSite->setObjectName(QStringLiteral("btnAddSite"));
    btnAddSite->SkinSet(QStringLiteral("button"));
    btnAddSite->setText(QStringLiteral("Add"));
    btnAddSite->setGeometry(366, 66, 88, 28);
    lbxSites = ListAdd(tsMonitoredSites, QStringLiteral("lbxSites"), QRect(16, 140, 438, 230));
    btnSitesCancel = new TImageButton(tsMonitoredSites);
    btnSitesNext = new TImageButton(tsMonitoredSites);

    // Scan.
    tsAppProcesses = new QWidget(pgcWizard);
    tsAppProcesses->setObjectName(QStringLiteral("tsAppProcesses"));
    pgcWizard->addWidget(tsAppProcesses);
    ConfigLabelAdd(tsAppProcesses, QStringLiteral("lblScan"),
        QStringLiteral("Add games to time limit by Scanning (Optional)\nThis will scan for installed applications. "
                       "The scan takes a few minutes. Alternatively you can choose a file at the next step."),
        QRect(16, 4, 438, 52));
    ConfigLabelAdd(
        tsAppProcesses, QStringLiteral("lblScanType"), QStringLiteral("Choose Scan Type:"), QRect(16, 62, 130, 22));
    cbxScanningAlghorithm = new QComboBox(tsAppProcesses);
    cbxScanningAlghorithm->setObjectName(QStringLiteral("cbxScanningAlghorithm"));
    cbxScanningAlghorithm->addItems(
        { QStringLiteral("Fast (gets most programs)"), QStringLiteral("Complete (far slower)") });
    cbxScanningAlghorithm->setGeometry(150, 60, 206, 26);
    ComboDropButtonAdd(cbxScanningAlghorithm);
    btnScan = new TImageButton(tsAppProcesses);
    btnScan->setObjectName(QStringLiteral("btnScan"));
    btnScan->SkinSet(QStringLiteral("button"));
    btnScan->setText(QStringLiteral("Scan"));
    btnScan->setGeometry(366, 58, 88, 28);
    lblFilter
        = ConfigLabelAdd(tsAppProcesses, QStringLiteral("lblFilter"), QStringLiteral("Filter"), QRect(16, 96, 70, 22));
    edtFilter = ConfigEditAdd(tsAppProcesses, QStringLiteral("edtFilter"), QRect(90, 94, 266, 24));
    ggScan = new TGauge(tsAppProcesses);
    ggScan->setObjectName(QStringLiteral("ggScan"));
    ggScan->setGeometry(90, 94, 266, 24);
    ggScan->hide();
    lbxAppProcesses = ListAdd(tsAppProcesses, QStringLiteral("lbxAppProcesses"), QRect(16, 146, 438, 170));
    ConfigLabelAdd(
        tsAppProcesses, QStringLiteral("lblAppInfo"), QStringLiteral("Application Info"), QRect(16, 320, 200, 20));
    mmAppInfo = new QPlainTextEdit(tsAppProcesses);
    mmAppInfo->setObjectName(QStringLiteral("mmAppInfo"));
    mmAppInfo->setReadOnly(true);
    mmAppInfo->setTabChangesFocus(true);
    mmAppInfo->setGeometry(16, 340, 438, 44);
    btnScanBack = new TImageButton(tsAppProcesses);
    btnScanNext = new TImageButton(tsAppProcesses);

    // Apps.
    tsApps = new QWidget(pgcWizard);
    tsApps->setObjectName(QStringLiteral("tsApps"));
    pgcWizard->addWidget(tsApps);
    // The examples name a program of the desktop the user sits at.
#ifdef Q_OS_WIN
    const QString appsText = QStringLiteral("Filename eg excel.exe or file address ex. c:/program files/excel.exe");
#else
    const QString appsText = QStringLiteral("Filename eg steam or file address ex. /usr/games/steam");
#endif
    ConfigLabelAdd(tsApps, QStringLiteral("lblApps"), appsText, QRect(16, 4, 438, 40));
    edApp = ConfigEditAdd(tsApps, QStringLiteral("edApp"), QRect(16, 50, 340, 24));
    ConfigLabelAdd(tsApps, QStringLiteral("lblAppTag"), QStringLiteral("Tag (optional):"), QRect(16, 84, 120, 22));
    edAppTag = ConfigEditAdd(tsApps, QStringLiteral("edAppTag"), QRect(140, 82, 216, 24));
    btnAddApp = new TImageButton(tsApps);
    btnAddApp->setObjectName(QStringLiteral("btnAddApp"));
    btnAddApp->SkinSet(QStringLiteral("button"));
    btnAddApp->setText(QStringLiteral("Add"));
    btnAddApp->setGeometry(366, 48, 88, 28);
    btnBrowse = new TImageButton(tsApps);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->SkinSet(QStringLiteral("button"));
    btnBrowse->setText(QStringLiteral("Browse"));
    btnBrowse->setGeometry(366, 80, 88, 28);
    lbxApps = ListAdd(tsApps, QStringLiteral("lbxApps"), QRect(16, 140, 438, 176));
    ConfigLabelAdd(
        tsApps, QStringLiteral("lblAppInfoApp"), QStringLiteral("Application Info"), QRect(16, 320, 200, 20));
    mmAppInfoApp = new QPlainTextEdit(tsApps);
    mmAppInfoApp->setObjectName(QStringLiteral("mmAppInfoApp"));
    mmAppInfoApp->setReadOnly(true);
    mmAppInfoApp->setTabChangesFocus(true);
    mmAppInfoApp->setGeometry(16, 340, 438, 44);
    btnAppsBack = new TImageButton(tsApps);
    btnFinish = new TImageButton(tsApps);

    const struct
    {
        TImageButton* Button;
        const char* Name;
        const char* Text;
        int Left;
    } buttons[] = {
        { btnSitesCancel, "btnSitesCancel", "Cancel", 16 },
        { btnSitesNext, "btnSitesNext", "Next >", 364 },
        { btnScanBack, "btnScanBack", "< Back", 16 },
        { btnScanNext, "btnScanNext", "Next >", 364 },
        { btnAppsBack, "btnAppsBack", "< Back", 16 },
        { btnFinish, "btnFinish", "Finish", 364 },
    };
    for (const auto& button : buttons) {
        button.Button->setObjectName(QString::fromLatin1(button.Name));
        button.Button->SkinSet(QStringLiteral("button"));
        button.Button->setText(QString::fromLatin1(button.Text));
        button.Button->setGeometry(button.Left, 394, 90, 28);
    }

    tmrEnumFolders = new QTimer(this);
    tmrEnumFolders->setInterval(1000);
    connect(tmrEnumFolders, &QTimer::timeout, this, [this] {
        // The gauge creeps towards 15 while the folders are counted.
        tmrEnumFolders->stop();
        if (ggScan->Progress() <= 14) {
            ggScan->ProgressSet(ggScan->Progress() + 1);
            tmrEnumFolders->start();
        }
    });

    connect(btnAddSite, &TImageButton::clicked, this, [this] { ItemAdd(mitWeb); });
    connect(btnSitesCancel, &TImageButton::clicked, this, &QDialog::reject);
    connect(btnSitesNext, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::SitesNext);
    connect(btnScan, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnScanClick);
    connect(btnScanBack, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::ScanBack);
    connect(btnScanNext, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::ScanNext);
    connect(btnAddApp, &TImageButton::clicked, this, [this] { ItemAdd(mitApp); });
    connect(btnBrowse, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnBrowseClick);
    connect(btnAppsBack, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::AppsBack);
    connect(btnFinish, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::Finish);
    connect(edtFilter, &QLineEdit::textEdited, this, &TfrmAppSiteAddWizard::ScanPageRefill);

    miEnter = new QAction(this);
    miEnter->setShortcuts({ QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) });
    miEscape = new QAction(this);
    miEscape->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(miEnter);
    addAction(miEscape);
    connect(miEnter, &QAction::triggered, this, &TfrmAppSiteAddWizard::EnterPressed);
    connect(miEscape, &QAction::triggered, this, &TfrmAppSiteAddWizard::EscapePressed);
    miSiteDelete = new QAction(QStringLiteral("&Delete"), lbxSites);
    miSiteDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    miSiteDelete->setShortcutContext(Qt::WidgetShortcut);
    lbxSites->addAction(miSiteDelete);
    lbxSites->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(miSiteDelete, &QAction::triggered, this, &TfrmAppSiteAddWizard::SiteDelete);
}

TfrmAppSiteAddWizard::~TfrmAppSiteAddWizard() = default;

void TfrmAppSiteAddWizard::Execute(TOptions& options, const TMonitoredList& callerList, TMonitoredList& result,
    TAppSiteSources sources, QWidget* parent)
{
    auto* window = new TfrmAppSiteAddWizard(options, callerList, result, sources, parent);
    window->Prepare();
    window->exec();
}

void TfrmAppSiteAddWizard::Prepare()
{
    m_existingApps->ItemsCopy(m_callerList, mitApp, "");
    m_sites->ItemsCopy(m_callerList, mitWeb, "");
    for (TMonitoredList* list : { m_existingApps.get(), m_sites.get() }) {
        for (int i = 0; i < list->Count(); ++i) {
            list->Items(i)->Checked = true;
        }
    }
    SitesRefill();
    PageShow(tsMonitoredSites, QStringLiteral("Add Websites to your time-limit list"));
}

void TfrmAppSiteAddWizard::PageShow(QWidget* sheet, const QString& title)
{
    // The window's own title, not only the header's text: the desktop's task list and window
    // switcher name the page too.
    setWindowTitle(title);
    PageChange(sheet);
}

void TfrmAppSiteAddWizard::EnterPressed()
{
    QWidget* page = pgcWizard->currentWidget();
    if (page == tsMonitoredSites) {
        ItemAdd(mitWeb);
    } else if (page == tsAppProcesses) {
        ScanNext();
    } else if (!edApp->text().isEmpty()) {
        // Enter after typing a program means "Add", as on the Sites page: finishing would drop
        // the typed program without a word.
        ItemAdd(mitApp);
    } else {
        Finish();
    }
}

void TfrmAppSiteAddWizard::EscapePressed()
{
    QWidget* page = pgcWizard->currentWidget();
    if (page == tsMonitoredSites) {
        reject();
    } else if (page == tsAppProcesses) {
        ScanBack();
    } else {
        AppsBack();
    }
}

void TfrmAppSiteAddWizard::SitesNext()
{
    ScanPageRefill();
    PageShow(tsAppProcesses, QStringLiteral("Add Applications by Scanning"));
}

void TfrmAppSiteAddWizard::ScanBack()
{
    if (m_scanning) {
        return;
    }
    PageShow(tsMonitoredSites, QStringLiteral("Add Websites to your time-limit list"));
}

void TfrmAppSiteAddWizard::ScanNext()
{
    if (m_scanning) {
        return;
    }
    AppsPageRefill();
    PageShow(tsApps, QStringLiteral("Add Applications by Name"));
}

void TfrmAppSiteAddWizard::AppsBack()
{
    SitesNext();
}

void TfrmAppSiteAddWizard::Finish()
{
    ResultBuild(m_result);
    if (m_firstUserDeletionUsed) {
        m_options.DeleteActionProcessedSet(true);
    }
    accept();
}

void TfrmAppSiteAddWizard::ResultBuild(TMonitoredList& result) const
{
    result.ItemsCopy(*m_existingApps, mitAll, "");
    result.MissingItemsAdd(m_sites.get(), "");
    result.MissingItemsAdd(m_manualApps.get(), "");
    result.MissingItemsAdd(m_checkedScanFinds.get(), "");
}

// The page lists are made anew from their sources, and the rows of a list box point into its
// page list: each rebuild refills its list box at once, so no row outlives its entry.
void TfrmAppSiteAddWizard::AppsPageRefill()
{
    m_appsPageList->ItemsCopy(*m_existingApps, mitAll, "");
    const TMonitoredList* order[3] = { m_manualApps.get(), m_uncheckedManualApps.get(), m_checkedScanFinds.get() };
    if (m_scanFirst) {
        order[0] = m_checkedScanFinds.get();
        order[1] = m_manualApps.get();
        order[2] = m_uncheckedManualApps.get();
    }
    for (const TMonitoredList* list : order) {
        m_appsPageList->MissingItemsAdd(list, "");
    }
    TListBoxItems items(lbxApps);
    ListBoxFill(items, *m_appsPageList, mitApp);
    ListBoxRowsFill(lbxApps);
}

void TfrmAppSiteAddWizard::ScanPageRefill()
{
    const std::string filter = edtFilter->text().toStdString();
    m_scanPageList->ItemsCopy(*m_existingApps, mitAll, filter);
    const TMonitoredList* order[3] = { m_checkedScanFinds.get(), m_scanResults.get(), m_manualApps.get() };
    if (m_nameFirst) {
        order[0] = m_manualApps.get();
        order[1] = m_checkedScanFinds.get();
        order[2] = m_scanResults.get();
    }
    for (const TMonitoredList* list : order) {
        m_scanPageList->MissingItemsAdd(list, filter);
    }
    TListBoxItems items(lbxAppProcesses);
    ListBoxFill(items, *m_scanPageList, mitApp);
    ListBoxRowsFill(lbxAppProcesses);
    lbxAppProcesses->viewport()->update();
}

void TfrmAppSiteAddWizard::SitesRefill()
{
    TListBoxItems items(lbxSites);
    ListBoxFill(items, *m_sites, mitWeb);
    ListBoxRowsFill(lbxSites);
}

void TfrmAppSiteAddWizard::RowSelected(QListWidget* listBox)
{
    QPlainTextEdit* info = listBox == lbxAppProcesses ? mmAppInfo : listBox == lbxApps ? mmAppInfoApp : nullptr;
    const TMonitoredItem* item = ListBoxItemObject(listBox, listBox->currentRow());
    if (info && item) {
        info->setPlainText(QString::fromStdString(item->Caption + "\n" + item->Name));
    }
}

void TfrmAppSiteAddWizard::RowDoubleClicked(QListWidget* listBox)
{
    const TMonitoredItem* item = ListBoxItemObject(listBox, listBox->currentRow());
    if (!item || listBox == lbxAppProcesses) {
        return;
    }
    QLineEdit* nameBox = listBox == lbxSites ? edURL : edApp;
    QLineEdit* tagBox = listBox == lbxSites ? edTag : edAppTag;
    nameBox->setText(QString::fromStdString(item->Name));
    tagBox->setText(item->Caption == item->Name ? QString() : QString::fromStdString(item->Caption));
}

bool TfrmAppSiteAddWizard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        for (QListWidget* listBox : { lbxSites, lbxAppProcesses, lbxApps }) {
            if (listBox && watched == listBox->viewport()) {
                const QPoint point = static_cast<QMouseEvent*>(event)->position().toPoint();
                const QModelIndex index = listBox->indexAt(point);
                if (index.isValid() && ListBoxItemObject(listBox, index.row())
                    && point.x() >= listBox->viewport()->width() - 18) {
                    listBox->setCurrentRow(index.row());
                    CheckMarkFlip(listBox, index.row());
                    return true;
                }
            }
        }
    }
    return TfrmBase::eventFilter(watched, event);
}

void TfrmAppSiteAddWizard::CheckMarkFlip(QListWidget* listBox, int row)
{
    TMonitoredItem* shown = ListBoxItemObject(listBox, row);
    if (!shown) {
        return;
    }
    const bool application = listBox != lbxSites;
    if (shown->Checked) {
        CheckOff(listBox, shown, application);
    } else {
        CheckOn(shown, application);
    }
    listBox->viewport()->update();
}

void TfrmAppSiteAddWizard::CheckOn(TMonitoredItem* shown, bool application)
{
    if (application) {
        const int existing = m_existingApps->NameIndexGet(shown->Name);
        if (existing >= 0) {
            m_existingApps->Items(existing)->Checked = true;
            m_existingApps->Items(existing)->Active = true;
        } else if (!ItemMove(*m_scanResults, *m_checkedScanFinds, shown->Name, true)) {
            ItemMove(*m_uncheckedManualApps, *m_manualApps, shown->Name, true);
        }
    }
    shown->Checked = true;
    shown->Active = true;
}

void TfrmAppSiteAddWizard::CheckOff(QListWidget* listBox, TMonitoredItem* shown, bool application)
{
    const int existing = application ? m_existingApps->NameIndexGet(shown->Name) : -1;
    const bool listed = application ? existing >= 0 : m_options.MonitoredItems().NameIndexGet(shown->Name) >= 0;
    if (!listed) {
        if (application && !ItemMove(*m_checkedScanFinds, *m_scanResults, shown->Name, false)) {
            ItemMove(*m_manualApps, *m_uncheckedManualApps, shown->Name, false);
        }
        shown->Checked = false;
        return;
    }
    // Taking an entry off the list the user had: the rights rule decides.
    int level = m_options.RightsLevel();
    if (level == 0) {
        if (!AskAdminPassword(this)) {
            return;
        }
        level = 2;
    }
    TMonitoredItem* kept = application ? m_existingApps->Items(existing) : shown;
    if (level == 1 && m_options.MonitoredItemDeleteActionProcessed) {
        for (TMonitoredItem* item : { kept, shown }) {
            item->Active = false;
            item->Checked = false;
        }
        listBox->setCurrentRow(-1);
        return;
    }
    if (level == 1) {
        m_firstUserDeletionUsed = true;
    }
    kept->Checked = false;
    shown->Checked = false;
}

void TfrmAppSiteAddWizard::SiteDelete()
{
    const int row = lbxSites->currentRow();
    TMonitoredItem* shown = ListBoxItemObject(lbxSites, row);
    if (!shown) {
        return;
    }
    if (m_options.MonitoredItems().NameIndexGet(shown->Name) >= 0) {
        if (shown->Checked) {
            CheckOff(lbxSites, shown, false);
        }
        lbxSites->viewport()->update();
        return;
    }
    const int index = m_sites->NameIndexGet(shown->Name);
    if (index >= 0) {
        m_sites->Delete(index);
    }
    SitesRefill();
}

bool TfrmAppSiteAddWizard::ItemAdd(TMonitoredItemType kind)
{
    const bool site = kind == mitWeb;
    QLineEdit* nameBox = site ? edURL : edApp;
    QLineEdit* tagBox = site ? edTag : edAppTag;
    std::string text = nameBox->text().toStdString();
    if (text.empty()) {
        return false;
    }
    const std::string tag = Trim(tagBox->text().toStdString());
    // The list names a program by the path its running process shows, so what was typed (a bare
    // name, forward slashes) becomes that path; what no program answers to is never charged.
    std::string notFound;
    if (!site && m_sources.Installed) {
        const std::string program = m_sources.Installed->TypedProgramResolve(text, m_sources.Processes);
        if (program.empty()) {
            notFound = text;
        } else {
            text = program;
        }
    }
    AppsPageRefill();
    auto item = std::make_unique<TMonitoredItem>();
    item->Name = text;
    item->Caption = tag;
    if (tag.empty()) {
        const bool resolved = !site && m_discovery && notFound.empty();
        item->Caption = resolved ? m_discovery->DisplayName(text) : text;
    }
    item->Checked = true;
    item->Active = true;
    item->ItemType = MonitoredItemTypeFromInt(kind);

    // Classified against what "Finish" would hand back; the caller's result list itself is
    // filled only by "Finish", so that Cancel hands back nothing.
    TMonitoredList wouldHandBack;
    ResultBuild(wouldHandBack);
    int index = -1;
    const TItemStatus status = wouldHandBack.ItemStatusGet(item.get(), index, DataLocations().ProgramFileName);
    bool done = false;
    switch (status) {
    case isNotListed: {
        if (!notFound.empty()) {
            ShowMessage(QStringLiteral("No program \"%1\" was found. Type its file name as it runs, or its full "
                                       "address, or choose it with Browse.")
                            .arg(QString::fromStdString(notFound)),
                QStringLiteral("Please Note"));
            break;
        }
        const std::string key = item->Caption;
        (site ? m_sites : m_manualApps)->Add(key, std::move(item));
        done = true;
        break;
    }
    case isOwnProgram:
        ShowMessage(QStringLiteral("\"%1\" could not be added to time-limit list")
                        .arg(QString::fromStdString(DataLocations().ProgramBaseName)),
            QStringLiteral("Please Note"));
        break;
    case isActiveChecked: {
        TMonitoredList& sameKind = site ? *m_sites : *m_appsPageList;
        TMonitoredList& otherKind = site ? *m_appsPageList : *m_sites;
        int found = sameKind.NameIndexGet(text);
        const bool kindDiffers = found < 0 && otherKind.NameIndexGet(text) >= 0;
        // Under the other kind a new caption would land on a page copy and be lost again, so
        // that case is answered like an equal caption.
        if (found >= 0 && sameKind.Items(found)->Caption != item->Caption) {
            if (site) {
                sameKind.Items(found)->Caption = item->Caption;
            } else {
                for (TMonitoredList* list : { m_checkedScanFinds.get(), m_manualApps.get(), m_existingApps.get() }) {
                    const int at = list->NameIndexGet(text);
                    if (at >= 0) {
                        list->Items(at)->Caption = item->Caption;
                        break;
                    }
                }
            }
            done = true;
            break;
        }
        const bool foundAsSite = site != kindDiffers;
        QString message;
        if (site) {
            message = foundAsSite
                ? QStringLiteral(
                    "You have already added an site with the same URL to the list. Please choose another URL.")
                : QStringLiteral(
                    "You have already added an application with the same filename. Please choose another URL.");
        } else {
            message = foundAsSite
                ? QStringLiteral(
                    "You have already added an site with the same URL to the list. Please choose filename.")
                : QStringLiteral("You have already added an application with the same filename. Please choose "
                                 "another filename.");
        }
        ShowMessage(message, QStringLiteral("Please note"));
        break;
    }
    case isInactive: {
        TMonitoredList& list = site ? *m_sites : *m_existingApps;
        const int at = list.NameIndexGet(text);
        if (at >= 0) {
            list.Items(at)->Active = true;
            list.Items(at)->Checked = true;
            done = true;
        }
        break;
    }
    case isActiveUnchecked: {
        if (site) {
            const int at = m_sites->NameIndexGet(text);
            if (at >= 0) {
                m_sites->Items(at)->Checked = true;
                done = true;
            }
            break;
        }
        const std::string key = item->Caption;
        int at = m_uncheckedManualApps->NameIndexGet(text);
        if (at >= 0) {
            m_uncheckedManualApps->Delete(at);
            m_manualApps->Add(key, std::move(item));
            done = true;
        } else if ((at = m_scanResults->NameIndexGet(text)) >= 0) {
            m_scanResults->Delete(at);
            m_checkedScanFinds->Add(key, std::move(item));
            done = true;
        } else if ((at = m_existingApps->NameIndexGet(text)) >= 0) {
            // An application of the list the user unchecked and now adds again stays on it.
            m_existingApps->Items(at)->Checked = true;
            m_existingApps->Items(at)->Caption = key;
            done = true;
        }
        break;
    }
    }
    if (!done) {
        return false;
    }
    nameBox->clear();
    tagBox->clear();
    if (site) {
        SitesRefill();
    } else {
        AppsPageRefill();
        if (!m_scanRan) {
            m_nameFirst = true;
        }
    }
    return true;
}

void TfrmAppSiteAddWizard::btnBrowseClick()
{
    QString path;
    if (ProgramDialogHook()) {
        path = ProgramDialogHook()(this);
    } else {
        QFileDialog* dialog = ProgramDialogMake(this);
        if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
            path = dialog->selectedFiles().constFirst();
        }
        delete dialog;
    }
    RoundOutline();
    if (path.isEmpty()) {
        return;
    }
    std::string program = path.toStdString();
    if (m_sources.Installed) {
        // The list must name the file a running process shows, not a link or launcher to it.
        const std::string resolved = m_sources.Installed->ExecutableResolve(program);
        if (!resolved.empty()) {
            program = resolved;
        }
    }
    edApp->setText(QString::fromStdString(program));
    edAppTag->setText(
        QString::fromStdString(m_discovery ? m_discovery->DisplayName(program) : ProgramDisplayNameGet(program)));
}

bool TfrmAppSiteAddWizard::ScanStep()
{
    QCoreApplication::processEvents();
    ++m_foldersVisited;
    if (m_foldersTotal > 0) {
        ggScan->ProgressSet(15 + int(double(m_foldersVisited) / m_foldersTotal * 85));
    }
    return !m_stopRequested;
}

void TfrmAppSiteAddWizard::btnScanClick()
{
    if (m_scanning) {
        // The scan processes pending events at every folder; a click then only asks it to stop.
        m_stopRequested = true;
        return;
    }
    m_scanning = true;
    m_scanRan = true;
    if (!m_nameFirst) {
        m_scanFirst = true;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    lbxAppProcesses->setUpdatesEnabled(false);
    lblFilter->setText(QStringLiteral("Progress"));
    edtFilter->hide();
    ggScan->ProgressSet(0);
    ggScan->show();
    btnScan->setText(QStringLiteral("Stop"));
    m_scanResults->Clear();
    lbxAppProcesses->clear();
    m_stopRequested = false;
    m_foldersVisited = 0;
    m_foldersTotal = 0;
    tmrEnumFolders->start();

    struct TRestore
    {
        TfrmAppSiteAddWizard* Window;
        ~TRestore()
        {
            Window->tmrEnumFolders->stop();
            Window->btnScan->setText(QStringLiteral("Scan"));
            Window->ggScan->hide();
            Window->lblFilter->setText(QStringLiteral("Filter"));
            Window->edtFilter->show();
            Window->lbxAppProcesses->setUpdatesEnabled(true);
            QApplication::restoreOverrideCursor();
            Window->m_scanning = false;
        }
    } restore { this };

    std::vector<std::string> lines;
    if (m_discovery) {
        if (cbxScanningAlghorithm->currentIndex() == 0) {
            m_discovery->FastScan(lines);
        } else {
            m_foldersTotal = m_discovery->CountFolders([this] {
                QCoreApplication::processEvents();
                return !m_stopRequested;
            });
            tmrEnumFolders->stop();
            if (m_foldersTotal >= 0) {
                m_discovery->CompleteScan(lines, [this] { return ScanStep(); });
            }
        }
    }
    tmrEnumFolders->stop();
    // This program is never offered: the list could not take it anyway.
    const auto ownProgramDrop = [](std::vector<std::string>& found) {
        std::erase_if(found, [](const std::string& line) {
            return SameTextAscii(line.substr(0, line.find('=')), DataLocations().ProgramFileName);
        });
    };
    ownProgramDrop(lines);
    NameValueItemsAdd(lines, *m_scanResults);
    if (m_sources.Processes) {
        std::vector<std::string> running;
        ProcessesExeNamesGet(*m_sources.Processes, running);
        ownProgramDrop(running);
        if (m_discovery) {
            for (std::string& line : running) {
                const std::string path = line.substr(0, line.find('='));
                line = path + "=" + m_discovery->DisplayName(path);
            }
        }
        NameValueItemsAdd(running, *m_scanResults);
    }
    lbxAppProcesses->setUpdatesEnabled(true);
    ScanPageRefill();
    ggScan->ProgressSet(100);
}
