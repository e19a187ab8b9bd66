#include "ui/config/FrmSettings.h"

#include "ui/config/AdminPassword.h"
#include "ui/config/ConfigControls.h"
#include "ui/config/MonitoredListDraw.h"
#include "ui/framework/Appearance.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ListBoxItems.h"
#include "ui/framework/TimeEntry.h"

#include "model/DataLocations.h"
#include "model/TextHelpers.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>

#include <algorithm>
#include <cmath>

namespace {

std::function<QString(const QString&)>& PictureDialogHook()
{
    static std::function<QString(const QString&)> hook;
    return hook;
}

std::function<QColor(const QColor&)>& ColorDialogHook()
{
    static std::function<QColor(const QColor&)> hook;
    return hook;
}

std::function<void(TOptions&, const TMonitoredList&, TMonitoredList&, TAppSiteSources)>& AddWizardHook()
{
    static std::function<void(TOptions&, const TMonitoredList&, TMonitoredList&, TAppSiteSources)> hook;
    return hook;
}

// The standard and extended colours with the names the user reads, as 0xBBGGRR numbers.
const std::pair<const char*, uint32_t> kNamedColors[] = {
    { "Black", 0x000000 },
    { "Maroon", 0x000080 },
    { "Green", 0x008000 },
    { "Olive", 0x008080 },
    { "Navy", 0x800000 },
    { "Purple", 0x800080 },
    { "Teal", 0x808000 },
    { "Gray", 0x808080 },
    { "Silver", 0xC0C0C0 },
    { "Red", 0x0000FF },
    { "Lime", 0x00FF00 },
    { "Yellow", 0x00FFFF },
    { "Blue", 0xFF0000 },
    { "Fuchsia", 0xFF00FF },
    { "Aqua", 0xFFFF00 },
    { "White", 0xFFFFFF },
    { "Money Green", 0xC0DCC0 },
    { "Sky Blue", 0xF0CAA6 },
    { "Cream", 0xF0FBFF },
    { "Medium Gray", 0xA4A0A0 },
};

const char* const kCustomItem = "Custom...";
const char* const kNoImageItem = "<No Image>";

void ColorBoxFill(QComboBox* box)
{
    box->addItem(QString::fromLatin1(kCustomItem));
    for (const auto& [name, number] : kNamedColors) {
        QPixmap swatch(12, 12);
        swatch.fill(ColorFromNumber(number));
        box->addItem(QIcon(swatch), QString::fromLatin1(name), QVariant::fromValue(number));
    }
}

// Selects the colour's item, adding one named by its hexadecimal value when it has no name. The
// name reads red, green, blue, as colour pickers and web pages write it, not the stored order.
void ColorBoxSelect(QComboBox* box, uint32_t number)
{
    int index = box->findData(QVariant::fromValue(number));
    if (index < 0) {
        QPixmap swatch(12, 12);
        swatch.fill(ColorFromNumber(number));
        box->addItem(
            QIcon(swatch), ColorFromNumber(number).name(QColor::HexRgb).toUpper(), QVariant::fromValue(number));
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

QComboBox* ComboAdd(QWidget* sheet, const QString& name, const QRect& geometry, const QStringList& items = {})
{
    auto* combo = new QComboBox(sheet);
    combo->setObjectName(name);
    combo->setGeometry(geometry);
    combo->addItems(items);
    TfrmBase::ComboDropButtonAdd(combo);
    return combo;
}

TImageButton* SmallButtonAdd(QWidget* sheet, const QString& name, const QString& text, const QRect& geometry)
{
    auto* button = new TImageButton(sheet);
    button->setObjectName(name);
    button->SkinSet(QStringLiteral("button"));
    button->setText(text);
    button->setGeometry(geometry);
    return button;
}

QIcon CheckMarkIcon()
{
    QPixmap mark(12, 12);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x20, 0x90, 0x20), 2));
    painter.drawLine(2, 6, 5, 9);
    painter.drawLine(5, 9, 10, 2);
    return QIcon(mark);
}

} // namespace

void TfrmSettings::FileDialogHookSet(std::function<QString(const QString&)> hook)
{
    PictureDialogHook() = std::move(hook);
}

void TfrmSettings::ColorDialogHookSet(std::function<QColor(const QColor&)> hook)
{
    ColorDialogHook() = std::move(hook);
}

void TfrmSettings::AddWizardHookSet(
    std::function<void(TOptions&, const TMonitoredList&, TMonitoredList&, TAppSiteSources)> hook)
{
    AddWizardHook() = std::move(hook);
}

TfrmSettings::TfrmSettings(TOptions& options, TAppSiteSources sources, QWidget* parent)
    : TfrmBase(parent)
    , m_options(options)
    , m_sources(sources)
{
    resize(480, 400);
    setWindowTitle(QStringLiteral("Settings"));
    pgcSettings = new QStackedWidget(this);
    pgcSettings->setGeometry(0, 36, 480, 316);
    pgcSettings->hide();
    const auto pageAdd = [this](const char* name) {
        auto* sheet = new QWidget(pgcSettings);
        sheet->setObjectName(QString::fromLatin1(name));
        pgcSettings->addWidget(sheet);
        return sheet;
    };
    tsBackground = pageAdd("tsBackground");
    tsLogon = pageAdd("tsLogon");
    tsMonitoredList = pageAdd("tsMonitoredList");
    tsExpiration = pageAdd("tsExpiration");
    tsReminder = pageAdd("tsReminder");

    // Background.
    ConfigLabelAdd(tsBackground, QStringLiteral("lblBackgroundText"),
        QStringLiteral("You can customise the background using an image of your choice, or a selection of landscapes "
                       "and a colour palette. You can also set the transparency of the application on your desktop."),
        QRect(16, 4, 448, 54));
    ConfigLabelAdd(tsBackground, QStringLiteral("lblTextColor"), QStringLiteral("Text Color:"), QRect(16, 70, 120, 22));
    cbxTextColor = ComboAdd(tsBackground, QStringLiteral("cbxTextColor"), QRect(150, 68, 220, 26));
    ConfigLabelAdd(
        tsBackground, QStringLiteral("lblBackground"), QStringLiteral("Background"), QRect(16, 108, 200, 22));
    ConfigLabelAdd(tsBackground, QStringLiteral("lblColor"), QStringLiteral("Color:"), QRect(16, 140, 120, 22));
    cbxColor = ComboAdd(tsBackground, QStringLiteral("cbxColor"), QRect(150, 138, 220, 26));
    ConfigLabelAdd(tsBackground, QStringLiteral("lblImage"), QStringLiteral("Image:"), QRect(16, 176, 120, 22));
    cbxImage = ComboAdd(tsBackground, QStringLiteral("cbxImage"), QRect(150, 174, 220, 26));
    btnBrowseImage = SmallButtonAdd(
        tsBackground, QStringLiteral("btnBrowseImage"), QStringLiteral("Browse..."), QRect(378, 173, 86, 28));
    ConfigLabelAdd(
        tsBackground, QStringLiteral("lblTransparency"), QStringLiteral("Transparency:"), QRect(16, 212, 120, 22));
    cbxTransparency = ComboAdd(tsBackground, QStringLiteral("cbxTransparency"), QRect(150, 210, 220, 26),
        { "0", "5", "10", "15", "20", "25", "30", "40", "50", "60", "70", "80", "90" });
    ColorBoxFill(cbxTextColor);
    ColorBoxFill(cbxColor);

    // Logon.
    lblStart_Description
        = ConfigLabelAdd(tsLogon, QStringLiteral("lblStart_Description"), QString(), QRect(16, 4, 448, 54));
    ConfigLabelAdd(tsLogon, QStringLiteral("lblStart_Password"), QStringLiteral("Password:"), QRect(16, 70, 150, 22));
    edtStart_Password = ConfigEditAdd(tsLogon, QStringLiteral("edtStart_Password"), QRect(170, 68, 200, 24), true);
    lblStart_ConfirmPassword = ConfigLabelAdd(tsLogon, QStringLiteral("lblStart_ConfirmPassword"),
        QStringLiteral("Confirm Password:"), QRect(16, 104, 150, 22));
    edtStart_ConfirmPassword
        = ConfigEditAdd(tsLogon, QStringLiteral("edtStart_ConfirmPassword"), QRect(170, 102, 200, 24), true);
    btnChangePassword = SmallButtonAdd(
        tsLogon, QStringLiteral("btnChangePassword"), QStringLiteral("Change Password"), QRect(170, 100, 150, 28));
    lblAllowUser = ConfigLabelAdd(tsLogon, QStringLiteral("lblAllowUser"),
        QStringLiteral("Allow user to change settings"), QRect(16, 144, 240, 22));
    imgAllowUserYes
        = ConfigLabelAdd(tsLogon, QStringLiteral("imgAllowUserYes"), QStringLiteral("Yes"), QRect(262, 144, 40, 22));
    imgAllowUserNo
        = ConfigLabelAdd(tsLogon, QStringLiteral("imgAllowUserNo"), QStringLiteral("No"), QRect(262, 144, 40, 22));
    for (QLabel* label : { lblAllowUser, imgAllowUserYes, imgAllowUserNo }) {
        label->installEventFilter(this);
        label->setCursor(Qt::PointingHandCursor);
    }
    lblForgotPassword = ConfigLinkAdd(tsLogon, QStringLiteral("lblForgotPassword"), QStringLiteral("Forgot Password"),
        QRect(16, 184, 160, 22), QStringLiteral("/login"));
    lblStorePassword = ConfigLinkAdd(tsLogon, QStringLiteral("lblStorePassword"),
        QStringLiteral("Store Password Online"), QRect(16, 184, 180, 22), QStringLiteral("/login"));
    lblPasswordNote = ConfigLabelAdd(tsLogon, QStringLiteral("lblPasswordNote"),
        QStringLiteral(
            "Please note that you will not be able to recover a forgotten password wihout storing it online."),
        QRect(16, 214, 448, 40));

    // Apps.
    // The examples name programs of the desktop the user sits at.
#ifdef Q_OS_WIN
    const QString appsText = QStringLiteral(
        "Add application and sites to time limit (eg google.com or Internet Explorer). To time limit all "
        "websites, add your browsers to the list. To time limit email access, add your email websites "
        "and Outlook to the list. ");
#else
    const QString appsText
        = QStringLiteral("Add application and sites to time limit (eg google.com or Firefox). To time limit all "
                         "websites, add your browsers to the list. To time limit email access, add your email websites "
                         "and Thunderbird to the list. ");
#endif
    ConfigLabelAdd(tsMonitoredList, QStringLiteral("lblAppsText"), appsText, QRect(16, 4, 448, 70));
    ConfigHeadAdd(tsMonitoredList, QStringLiteral("NameHead"), QStringLiteral("  Name"), QRect(16, 80, 320, 20));
    ConfigHeadAdd(
        tsMonitoredList, QStringLiteral("TypeHead"), QStringLiteral("Type"), QRect(336, 80, 128, 20), Qt::AlignHCenter);
    lbxAppSites = new QListWidget(tsMonitoredList);
    lbxAppSites->setObjectName(QStringLiteral("lbxAppSites"));
    lbxAppSites->setGeometry(16, 100, 448, 176);
    lbxAppSites->setItemDelegate(new TMonitoredListDraw(320 - 8, 0, false, lbxAppSites));
    btnAdd = SmallButtonAdd(tsMonitoredList, QStringLiteral("btnAdd"), QStringLiteral("+"), QRect(404, 280, 28, 26));
    btnAdd->setToolTip(QStringLiteral("Add site/application"));
    btnDelete
        = SmallButtonAdd(tsMonitoredList, QStringLiteral("btnDelete"), QStringLiteral("-"), QRect(436, 280, 28, 26));
    btnDelete->setToolTip(QStringLiteral("Delete"));

    // Expiration.
    ConfigLabelAdd(tsExpiration, QStringLiteral("lblExpirationText"),
        QStringLiteral("What should the application do when the time limit is reached?"), QRect(16, 4, 448, 40));
    ConfigLabelAdd(
        tsExpiration, QStringLiteral("lblExpirationAction"), QStringLiteral("Time up action:"), QRect(16, 60, 150, 22));
    cbxExpirationAction = ComboAdd(tsExpiration, QStringLiteral("cbxExpirationAction"), QRect(170, 58, 220, 26),
        { "Reminder Only", "Close Browser/App.", "Shutdown Profile" });
    ConfigLabelAdd(
        tsExpiration, QStringLiteral("lblTimeLimit"), QStringLiteral("Daily time limit:"), QRect(16, 98, 150, 22));
    medTimeLimit = ConfigEditAdd(tsExpiration, QStringLiteral("medTimeLimit"), QRect(170, 96, 70, 24));
    medTimeLimit->setInputMask(QStringLiteral("09:09;_"));
    ConfigLabelAdd(
        tsExpiration, QStringLiteral("lblTimeLimitUnit"), QStringLiteral("hours:minutes"), QRect(248, 98, 140, 22));
    ConfigLabelAdd(tsExpiration, QStringLiteral("lblConfirm"),
        QStringLiteral("Please confirm your settings before proceeding.  We suggest setting reminders initially. To "
                       "block distracting sites/games/email at any time click Focus."),
        QRect(16, 140, 448, 60));

    // Reminder.
    ConfigLabelAdd(
        tsReminder, QStringLiteral("lblReminderHead"), QStringLiteral("Reminder Settings"), QRect(16, 4, 300, 22));
    ConfigLabelAdd(tsReminder, QStringLiteral("lblReminder"), QStringLiteral("Reminder:"), QRect(16, 38, 150, 22));
    cbxReminder = ComboAdd(
        tsReminder, QStringLiteral("cbxReminder"), QRect(170, 36, 220, 26), { "Morning", "Afternoon", "Evening" });
    memReminder = new QPlainTextEdit(tsReminder);
    memReminder->setObjectName(QStringLiteral("memReminder"));
    memReminder->setGeometry(16, 72, 448, 150);
    memReminder->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memReminder->setTabChangesFocus(true);
    memReminder->installEventFilter(this);
    ConfigLabelAdd(tsReminder, QStringLiteral("lblReminderChange"), QStringLiteral("Alert to change reminder:"),
        QRect(16, 234, 200, 22));
    cbRemiderChangePeriod = ComboAdd(tsReminder, QStringLiteral("cbRemiderChangePeriod"), QRect(220, 232, 170, 26),
        { "Never", "Daily", "Weekly", "Fortnightly", "Monthly" });

    btnBack = ButtonAdd(QStringLiteral("btnBack"), QStringLiteral("Cancel"), QRect(16, 360, 100, 28));
    btnNext = ButtonAdd(QStringLiteral("btnNext"), QStringLiteral("Next >"), QRect(364, 360, 100, 28));
    connect(btnBack, &TImageButton::clicked, this, &TfrmSettings::StepBack);
    connect(btnNext, &TImageButton::clicked, this, &TfrmSettings::StepNext);

    miNext = new QAction(this);
    miNext->setShortcuts({ QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) });
    miBack = new QAction(this);
    miBack->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(miNext);
    addAction(miBack);
    connect(miNext, &QAction::triggered, this, &TfrmSettings::StepNext);
    connect(miBack, &QAction::triggered, this, &TfrmSettings::StepBack);
    miAdd = new QAction(lbxAppSites);
    miAdd->setShortcut(QKeySequence(Qt::Key_Insert));
    miAdd->setShortcutContext(Qt::WidgetShortcut);
    miDelete = new QAction(lbxAppSites);
    miDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    miDelete->setShortcutContext(Qt::WidgetShortcut);
    lbxAppSites->addAction(miAdd);
    lbxAppSites->addAction(miDelete);
    connect(miAdd, &QAction::triggered, this, &TfrmSettings::btnAddClick);
    connect(miDelete, &QAction::triggered, this, &TfrmSettings::btnDeleteClick);

    connect(cbxTextColor, &QComboBox::activated, this, &TfrmSettings::cbxTextColorSelect);
    connect(cbxColor, &QComboBox::activated, this, &TfrmSettings::cbxColorSelect);
    connect(cbxImage, &QComboBox::activated, this, &TfrmSettings::cbxImageSelect);
    connect(btnBrowseImage, &TImageButton::clicked, this, [this] { cbxImageSelect(0); });
    connect(cbxTransparency, &QComboBox::activated, this, &TfrmSettings::cbxTransparencySelect);
    connect(btnAdd, &TImageButton::clicked, this, &TfrmSettings::btnAddClick);
    connect(btnDelete, &TImageButton::clicked, this, &TfrmSettings::btnDeleteClick);
    connect(btnChangePassword, &TImageButton::clicked, this, &TfrmSettings::btnChangePasswordClick);
    connect(edtStart_Password, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_firstRun) {
            const bool stored = m_options.CheckPassword(text.toStdString());
            AllowUserShow(stored);
        }
    });
    connect(cbxReminder, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_reminderLoading = true;
        m_reminderShown = std::clamp(index, 0, 2);
        memReminder->setPlainText(QString::fromStdString(m_reminders[m_reminderShown]));
        m_reminderLoading = false;
    });
    connect(memReminder, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_reminderLoading) {
            m_reminders[m_reminderShown] = memReminder->toPlainText().toStdString();
            ReminderMarksSet();
        }
    });

    // The appearance in force now is what "Cancel" writes back.
    m_savedTransparency = Appearance().TransparencyGet();
    m_savedImage = Appearance().BackgroundImageGet();
    m_savedTextColor = Appearance().TextColorGet();
    m_savedColor = Appearance().BackgroundColorGet();
    m_skins.Load(SkinsFolder());
    cbxImage->addItem(QString::fromLatin1(kCustomItem));
    for (int i = 0; i < m_skins.Count(); ++i) {
        cbxImage->addItem(QString::fromStdString(m_skins.Entries(i).Name));
    }
    cbxImage->addItem(QString::fromLatin1(kNoImageItem));
    ImageItemSelect();
    const int transparency = cbxTransparency->findText(QString::number(m_savedTransparency));
    cbxTransparency->setCurrentIndex(transparency >= 0 ? transparency : 0);
}

TfrmSettings::~TfrmSettings() = default;

bool TfrmSettings::Execute(TOptions& options, TAppSiteSources sources, bool firstRun, QWidget* parent)
{
    auto* window = new TfrmSettings(options, sources, parent);
    window->Prepare(firstRun);
    return window->exec() == QDialog::Accepted;
}

void TfrmSettings::Prepare(bool firstRun)
{
    m_firstRun = firstRun;
    m_activePage = nullptr;
    m_allowUser = m_options.AllowUserToChangeSettings;
    AllowUserShow(firstRun);
    if (ProductEdition < 2) {
        LogonPrepare();
    }
    ExpirationLoad();
    WorkingListLoad();
    ReminderLoad();
    if (firstRun && ProductEdition == 2) {
        m_options.AdminMode = true;
    }
    StepNext();
}

bool TfrmSettings::LogonShown() const
{
    return ProductEdition != 2;
}

std::vector<QWidget*> TfrmSettings::VisiblePages() const
{
    std::vector<QWidget*> pages = { tsBackground, tsMonitoredList, tsExpiration, tsReminder };
    if (LogonShown()) {
        pages.insert(pages.begin() + 1, tsLogon);
    }
    return pages;
}

bool TfrmSettings::AllowUserShown() const
{
    return m_allowUserShown;
}

bool TfrmSettings::AllowUser() const
{
    return m_allowUser;
}

void TfrmSettings::AllowUserShow(bool shown)
{
    m_allowUserShown = shown;
    lblAllowUser->setVisible(shown);
    imgAllowUserYes->setVisible(shown && m_allowUser);
    imgAllowUserNo->setVisible(shown && !m_allowUser);
}

void TfrmSettings::AllowUserToggle()
{
    // The label and both pictures flip the choice; a hidden toggle cannot be flipped.
    if (m_allowUserShown) {
        m_allowUser = !m_allowUser;
        AllowUserShow(true);
    }
}

void TfrmSettings::LogonPrepare()
{
    const bool stored = !m_options.Password.empty();
    lblStart_Description->setText(
        QStringLiteral("Please %1 Admin Password. Admin sets sites and apps to watch, but can opt to give this "
                       "control to the user")
            .arg(stored ? QStringLiteral("enter") : QStringLiteral("set")));
    for (QWidget* control :
        { static_cast<QWidget*>(lblStart_ConfirmPassword), static_cast<QWidget*>(edtStart_ConfirmPassword),
            static_cast<QWidget*>(lblStorePassword), static_cast<QWidget*>(lblPasswordNote) }) {
        control->setVisible(!stored);
    }
    lblForgotPassword->setVisible(stored);
    btnChangePassword->setVisible(stored);
}

void TfrmSettings::ExpirationLoad()
{
    const auto [seconds, action] = m_options.ShownLimitAndAction();
    const int minutes = int(std::lround(seconds / 60.0));
    medTimeLimit->setText(QStringLiteral("%1:%2")
                              .arg(minutes / 60 % 100, 2, 10, QLatin1Char('0'))
                              .arg(minutes % 60, 2, 10, QLatin1Char('0')));
    cbxExpirationAction->setCurrentIndex(std::clamp(action, 0, 2));
}

void TfrmSettings::WorkingListLoad()
{
    m_workingList = std::make_unique<TMonitoredList>();
    m_workingList->ItemsCopy(m_options.MonitoredItems(), mitAll, "");
    if (ProductEdition > 1) {
        // The entries a user removed wait for the daily reset; until then they show grey.
        for (const char* section : { "Applications", "WebSites" }) {
            for (const auto& [key, value] : WindowPreferences().File().SectionValuesRead(section)) {
                const int index = m_workingList->NameIndexGet(key);
                if (index >= 0) {
                    m_workingList->Items(index)->Active = false;
                }
            }
        }
    }
    ListRefill();
}

void TfrmSettings::ListRefill()
{
    TListBoxItems items(lbxAppSites);
    ListBoxFill(items, *m_workingList, mitAll);
    ListBoxRowsFill(lbxAppSites);
}

void TfrmSettings::ReminderLoad()
{
    cbRemiderChangePeriod->setCurrentIndex(std::clamp(int(m_options.ReminderChangePeriod), 0, 4));
    for (int i = 0; i < 3; ++i) {
        m_reminders[i] = m_options.ReminderText(i);
    }
    ReminderMarksSet();
    m_reminderLoading = true;
    m_reminderShown = 0;
    cbxReminder->setCurrentIndex(0);
    memReminder->setPlainText(QString::fromStdString(m_reminders[0]));
    m_reminderLoading = false;
}

void TfrmSettings::ReminderMarksSet()
{
    static const QIcon mark = CheckMarkIcon();
    for (int i = 0; i < 3; ++i) {
        cbxReminder->setItemIcon(i, Trim(m_reminders[i]).empty() ? QIcon() : mark);
    }
}

void TfrmSettings::ColorBoxesSet()
{
    ColorBoxSelect(cbxTextColor, Appearance().TextColorGet());
    ColorBoxSelect(cbxColor, Appearance().BackgroundColorGet());
}

void TfrmSettings::ImageItemSelect()
{
    const std::string image = Appearance().BackgroundImageGet();
    const int skin = m_skins.PathIndexGet(image);
    int index = cbxImage->count() - 1;
    if (skin >= 0) {
        index = skin + 1;
    } else if (!image.empty() && QFileInfo::exists(QString::fromStdString(image))) {
        index = 0;
    }
    cbxImage->setCurrentIndex(index);
    btnBrowseImage->setVisible(index == 0);
}

void TfrmSettings::cbxTextColorSelect(int index)
{
    QColor color = ColorFromNumber(cbxTextColor->itemData(index).toUInt());
    if (index == 0) {
        const QColor initial = ColorFromNumber(Appearance().TextColorGet());
        color = ColorDialogHook() ? ColorDialogHook()(initial) : QColorDialog::getColor(initial, this);
        if (!color.isValid()) {
            ColorBoxesSet();
            return;
        }
        ColorBoxSelect(cbxTextColor, ColorToNumber(color));
    }
    Appearance().TextColorSet(ColorToNumber(color));
    ApplyTextColor(color);
}

void TfrmSettings::cbxColorSelect(int index)
{
    QColor color = ColorFromNumber(cbxColor->itemData(index).toUInt());
    if (index == 0) {
        const QColor initial = ColorFromNumber(Appearance().BackgroundColorGet());
        color = ColorDialogHook() ? ColorDialogHook()(initial) : QColorDialog::getColor(initial, this);
        if (!color.isValid()) {
            ColorBoxesSet();
            return;
        }
        ColorBoxSelect(cbxColor, ColorToNumber(color));
    }
    ApplyColor(color);
    Appearance().BackgroundColorSet(ColorToNumber(color));
    // A chosen colour always replaces the background picture.
    cbxImage->setCurrentIndex(cbxImage->count() - 1);
    cbxImageSelect(cbxImage->count() - 1);
}

void TfrmSettings::cbxImageSelect(int index)
{
    cbxImage->setCurrentIndex(index);
    btnBrowseImage->setVisible(index == 0);
    if (index == 0) {
        const QString start = QString::fromStdString(SkinsFolder());
        const QString path = PictureDialogHook() ? PictureDialogHook()(start)
                                                 : QFileDialog::getOpenFileName(this, QStringLiteral("Image"), start,
                                                     QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif *.bmp *.ico)"));
        RoundOutline();
        if (path.isEmpty()) {
            return;
        }
        for (int i = 0; i < m_skins.Count(); ++i) {
            if (QString::fromStdString(m_skins.Entries(i).Path).compare(path, Qt::CaseInsensitive) == 0) {
                cbxImageSelect(i + 1);
                return;
            }
        }
        Appearance().BackgroundImageSet(path.toStdString());
    } else if (index == cbxImage->count() - 1) {
        Appearance().BackgroundImageSet("");
    } else {
        Appearance().BackgroundImageSet(m_skins.Entries(index - 1).Path);
    }
    update();
}

void TfrmSettings::cbxTransparencySelect(int index)
{
    cbxTransparency->setCurrentIndex(index);
    const int percent = cbxTransparency->itemText(index).toInt();
    ApplyTransparency(percent);
    Appearance().TransparencySet(percent);
}

bool TfrmSettings::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == memReminder && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        // Enter makes a new line in the reminder text, and moves on everywhere else.
        miNext->setEnabled(event->type() == QEvent::FocusOut);
    }
    if (event->type() == QEvent::MouseButtonPress
        && (watched == lblAllowUser || watched == imgAllowUserYes || watched == imgAllowUserNo)) {
        AllowUserToggle();
        return true;
    }
    return TfrmBase::eventFilter(watched, event);
}

bool TfrmSettings::PasswordRulePasses()
{
    QString message;
    const QString password = edtStart_Password->text();
    if (!edtStart_ConfirmPassword->isHidden() && password != edtStart_ConfirmPassword->text()) {
        message = QStringLiteral("The passwords entered are not the same");
    } else if (password.trimmed().isEmpty()) {
        message = QStringLiteral("A password is required");
    } else if (!m_options.Password.empty() && !m_options.CheckPassword(password.toStdString())) {
        message = QStringLiteral("Invalid password");
    }
    if (!message.isEmpty()) {
        ShowMessage(message, QStringLiteral("Please Note"));
        edtStart_Password->setFocus(Qt::OtherFocusReason);
        return false;
    }
    m_options.AdminMode = true;
    return true;
}

void TfrmSettings::EditRightsApply()
{
    const bool editable = m_firstRun || m_options.AdminMode
        || (edtStart_Password->text().isEmpty() && m_options.AllowUserToChangeSettings);
    cbxExpirationAction->setEnabled(editable);
    medTimeLimit->setEnabled(editable);
    btnAdd->setVisible(editable);
    btnDelete->setVisible(editable);
}

void TfrmSettings::PageGo(QWidget* page)
{
    m_activePage = page;
    const std::vector<QWidget*> pages = VisiblePages();
    const bool first = page == pages.front();
    const bool last = page == pages.back();
    btnBack->setText(first ? QStringLiteral("Cancel") : QStringLiteral("< Back"));
    btnNext->setText(last ? QStringLiteral("Apply") : QStringLiteral("Next >"));
    if (page == tsBackground) {
        ColorBoxesSet();
    }
    PageChange(page);
    if (page == tsMonitoredList) {
        ListBoxRowsFill(lbxAppSites);
    }
}

void TfrmSettings::StepNext()
{
    if (m_activePage == tsLogon) {
        const bool empty = edtStart_Password->text().isEmpty();
        if ((m_firstRun || !empty) && !PasswordRulePasses()) {
            return;
        }
    }
    if (m_activePage == tsExpiration && !TimeEntryCheck(medTimeLimit)) {
        return;
    }
    if (m_activePage == tsLogon) {
        ExpirationLoad();
        WorkingListLoad();
        ReminderLoad();
    }
    if (m_activePage == tsLogon || (m_activePage == tsBackground && !LogonShown())) {
        EditRightsApply();
    }
    const std::vector<QWidget*> pages = VisiblePages();
    const auto at = std::find(pages.begin(), pages.end(), m_activePage);
    if (at == pages.end()) {
        PageGo(pages.front());
    } else if (at + 1 != pages.end()) {
        PageGo(*(at + 1));
    } else {
        Apply();
    }
}

void TfrmSettings::StepBack()
{
    const std::vector<QWidget*> pages = VisiblePages();
    const auto at = std::find(pages.begin(), pages.end(), m_activePage);
    if (at == pages.end() || at == pages.begin()) {
        Cancel();
        return;
    }
    PageGo(*(at - 1));
}

void TfrmSettings::Cancel()
{
    Appearance().TextColorSet(m_savedTextColor);
    Appearance().BackgroundColorSet(m_savedColor);
    Appearance().BackgroundImageSet(m_savedImage);
    Appearance().TransparencySet(m_savedTransparency);
    reject();
}

void TfrmSettings::Apply()
{
    const std::string password = edtStart_Password->text().toStdString();
    if (m_firstRun) {
        m_options.AllowUserToChangeSettings = m_allowUser;
    } else if (!password.empty() && m_options.CheckPassword(password)) {
        m_options.AllowUserToChangeSettings = m_allowUser;
    }
    const double dayFraction
        = TextToTime(medTimeLimit->displayText().replace(QLatin1Char('_'), QLatin1Char(' ')).toStdString());
    const int32_t seconds = int32_t(std::lround(dayFraction * 86400.0));
    m_options.ExpirationActionSet(cbxExpirationAction->currentIndex());
    m_options.TimeLimitSecondsSet(seconds);
    m_options.MonitoredItems().ItemsCopy(*m_workingList, mitAll, "");
    for (int i = 0; i < 3; ++i) {
        m_options.ReminderTextSet(i, m_reminders[i]);
    }
    m_options.ReminderChangePeriod = uint8_t(cbRemiderChangePeriod->currentIndex());
    if (ProductEdition < 2 && !password.empty()) {
        m_options.SetPassword(password);
    }
    m_options.OptionsSave();
    m_options.AdminMode = false;
    accept();
}

void TfrmSettings::btnAddClick()
{
    if (btnAdd->isHidden()) {
        return;
    }
    TMonitoredList result;
    if (AddWizardHook()) {
        AddWizardHook()(m_options, *m_workingList, result, m_sources);
    } else {
        TfrmAppSiteAddWizard::Execute(m_options, *m_workingList, result, m_sources, this);
    }
    const std::string ownProgram = DataLocations().ProgramFileName;
    for (int i = 0; i < result.Count(); ++i) {
        const TMonitoredItem* item = result.Items(i);
        if (!item->Checked && item->Active) {
            const int index = m_workingList->NameIndexGet(*item);
            if (index >= 0) {
                m_workingList->Delete(index);
            }
            continue;
        }
        int index = -1;
        switch (m_workingList->ItemStatusGet(item, index, ownProgram)) {
        case isNotListed: {
            auto copy = std::make_unique<TMonitoredItem>();
            copy->ItemAssign(*item);
            m_workingList->Add(item->Caption, std::move(copy));
            break;
        }
        case isActiveChecked:
        case isInactive:
        case isActiveUnchecked:
            m_workingList->Items(index)->Active = item->Active;
            m_workingList->Items(index)->Caption = item->Caption;
            break;
        case isOwnProgram:
            break;
        }
    }
    m_options.ListSave();
    ListRefill();
}

void TfrmSettings::btnDeleteClick()
{
    if (btnDelete->isHidden()) {
        return;
    }
    const int row = lbxAppSites->currentRow();
    const TMonitoredItem* item = ListBoxItemObject(lbxAppSites, row);
    if (!item || Trim(item->Caption).empty() || lbxAppSites->item(row)->text().trimmed().isEmpty()) {
        return;
    }
    // Named again by a copy after the confirmation: its loop runs timers, and no pointer into a
    // list is held across one.
    TMonitoredItem chosen;
    chosen.ItemAssign(*item);
    item = nullptr;
    if (!ConfirmDelete(QString::fromStdString(chosen.Caption))) {
        return;
    }
    const int index = m_workingList->NameIndexGet(chosen);
    const int level = m_options.RightsLevel();
    if (index >= 0 && level == 2) {
        m_workingList->Delete(index);
    } else if (index >= 0 && level == 1) {
        m_workingList->Items(index)->Active = false;
        lbxAppSites->setCurrentRow(-1);
    }
    ListRefill();
}

void TfrmSettings::btnChangePasswordClick()
{
    ChangePassword(m_options, this);
    AllowUserShow(false);
}
