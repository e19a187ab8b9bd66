// tallyhour-gallery: a developer's view of the skinned look. It opens a window with a panel,
// buttons in their three states, a gauge, a list and the entry controls, beside the message,
// error and transparency windows, all with the user-independent default appearance and a skin
// from the skins folder.
//
//   tallyhour-gallery [--skin NAME] [--color 0xBBGGRR] [--quit-after MS] [--main-views [FOLDER]]
//
// --main-views shows the main window's Lite, All, Reminders and Usage views instead, filled with
// a sample day; with a FOLDER each view is also saved there as a PNG file.

#include "ui/framework/Appearance.h"
#include "ui/framework/Application.h"
#include "ui/framework/FrmErrorMessage.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/Gauge.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/framework/ListBoxItems.h"
#include "ui/main/FrmTransparencySettings.h"
#include "ui/main/SkinList.h"

#include "MainViews.h"

#include "model/MonitoredObjects.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

#include <iostream>

namespace {

// Rows of the time-limit list: the caption on the left, the time spent on the right, ruled.
class TUsageDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        const QRect r = option.rect;
        painter->setPen(QColor(0xe3, 0xe7, 0xec));
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        auto* item = static_cast<TMonitoredItem*>(index.data(Qt::UserRole).value<void*>());
        if (item) {
            painter->setPen(QColor(0x36, 0x36, 0x36));
            painter->drawText(r.adjusted(8, 0, -60, 0), Qt::AlignVCenter | Qt::AlignLeft, index.data().toString());
            painter->setPen(item->Duration > 3600 ? QColor(0xc0, 0x39, 0x2b) : QColor(0x1f, 0x8a, 0x70));
            painter->drawText(r.adjusted(0, 0, -8, 0), Qt::AlignVCenter | Qt::AlignRight,
                QString::fromStdString(DurationText(int64_t(item->Duration))));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 22);
    }
};

TImageButton* ButtonMake(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* button = new TImageButton(parent);
    button->SkinSet(QStringLiteral("button"));
    button->setText(caption);
    button->setGeometry(geometry);
    return button;
}

QLabel* LabelMake(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    LabelOnBackgroundSet(label);
    label->setGeometry(geometry);
    return label;
}

// Sends the button what the mouse would, so the screenshot shows each state.
void ButtonStateShow(TImageButton* button, TImageButtonState state)
{
    const QPointF inside(5, 5);
    if (state == ibsHot) {
        QMouseEvent move(
            QEvent::MouseMove, inside, button->mapToGlobal(inside), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button, &move);
    } else if (state == ibsPressed) {
        QMouseEvent press(QEvent::MouseButtonPress, inside, button->mapToGlobal(inside), Qt::LeftButton, Qt::LeftButton,
            Qt::NoModifier);
        QCoreApplication::sendEvent(button, &press);
    }
}

TfrmBase* GalleryWindowMake(TMonitoredList& list)
{
    auto* window = new TfrmBase();
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->resize(600, 430);
    window->setWindowTitle(QStringLiteral("Tallyhour - Gallery"));

    LabelMake(window, QStringLiteral("Time-limit list"), QRect(20, 44, 250, 20));
    auto* pnlList = new TImagePanel(window);
    pnlList->BackgroundSet(PictureLoad(QStringLiteral(":/tallyhour/images/panel.png")));
    pnlList->SideWidthSet(10);
    pnlList->SideHeightSet(10);
    pnlList->setGeometry(16, 66, 290, 286);
    auto* lbxUsage = new QListWidget(pnlList);
    lbxUsage->setGeometry(6, 6, 278, 246);
    lbxUsage->setFrameShape(QFrame::NoFrame);
    lbxUsage->setStyleSheet(QStringLiteral("QListWidget { background: transparent; }"));
    lbxUsage->setItemDelegate(new TUsageDelegate(lbxUsage));
    lbxUsage->setFocusPolicy(Qt::NoFocus);
    TListBoxItems sink(lbxUsage);
    ListBoxFill(sink, list, mitAll);
    TfrmBase::ListBoxRowsFill(lbxUsage);

    auto* dark = new QLabel(QStringLiteral("dark text on the panel keeps its colour"), pnlList);
    dark->setGeometry(12, 258, 266, 20);
    QFont small = dark->font();
    small.setBold(false);
    small.setPixelSize(11);
    dark->setFont(small);

    LabelMake(window, QStringLiteral("Time on the list today:"), QRect(326, 48, 190, 20));
    auto* lblTotal = LabelMake(window, QStringLiteral("01:52"), QRect(516, 46, 70, 24));
    QFont big = lblTotal->font();
    big.setPixelSize(18);
    lblTotal->setFont(big);
    LabelMake(window, QStringLiteral("Time to the limit:"), QRect(326, 74, 190, 20));
    LabelMake(window, QStringLiteral("00:38"), QRect(516, 74, 70, 20));

    auto* gauge = new TGauge(window);
    gauge->setGeometry(326, 104, 258, 22);
    gauge->ForeColorSet(QColor(0x1d, 0x3b, 0x57));
    gauge->BackColorSet(QColor(0xf4, 0xf6, 0xf8));
    gauge->ProgressSet(74);

    LabelMake(window, QStringLiteral("Daily limit (hh:nn):"), QRect(326, 142, 150, 20));
    auto* edtLimit = new QLineEdit(window);
    edtLimit->setInputMask(QStringLiteral("99:99"));
    edtLimit->setText(QStringLiteral("02:30"));
    edtLimit->setGeometry(484, 139, 100, 26);

    LabelMake(window, QStringLiteral("When the time is up:"), QRect(326, 178, 150, 20));
    auto* cbxAction = new QComboBox(window);
    cbxAction->addItems(
        { QStringLiteral("Show a warning"), QStringLiteral("Close the window"), QStringLiteral("Shut down") });
    cbxAction->setGeometry(326, 200, 258, 26);
    auto* btnCombo = new TImageButton(window);
    btnCombo->SkinSet(QStringLiteral("combo"));
    btnCombo->SideWidthSet(6);
    btnCombo->SideHeightSet(6);
    btnCombo->setGeometry(326 + 258 - 26, 201, 26, 24);
    QObject::connect(btnCombo, &TImageButton::clicked, cbxAction, &QComboBox::showPopup);

    const QString checkStyle
        = QStringLiteral("QCheckBox { color: white; spacing: 8px; }"
                         "QCheckBox::indicator { width: 16px; height: 16px; }"
                         "QCheckBox::indicator:checked { image: url(:/tallyhour/images/check_on.png); }"
                         "QCheckBox::indicator:unchecked { image: url(:/tallyhour/images/check_off.png); }");
    auto* chkGrace = new QCheckBox(QStringLiteral("Offer five more minutes"), window);
    chkGrace->setStyleSheet(checkStyle);
    chkGrace->setChecked(true);
    chkGrace->setGeometry(326, 238, 258, 22);
    auto* chkFocus = new QCheckBox(QStringLiteral("Focus mode"), window);
    chkFocus->setStyleSheet(checkStyle);
    chkFocus->setGeometry(326, 264, 258, 22);

    LabelMake(window, QStringLiteral("Buttons: normal, hot, pressed"), QRect(326, 298, 258, 20));
    ButtonMake(window, QStringLiteral("Normal"), QRect(326, 322, 80, 28));
    auto* hot = ButtonMake(window, QStringLiteral("Hot"), QRect(415, 322, 80, 28));
    auto* pressed = ButtonMake(window, QStringLiteral("Pressed"), QRect(504, 322, 80, 28));
    QTimer::singleShot(50, hot, [hot] { ButtonStateShow(hot, ibsHot); });
    QTimer::singleShot(50, pressed, [pressed] { ButtonStateShow(pressed, ibsPressed); });

    auto* btnAdd = ButtonMake(window, QStringLiteral(" Add..."), QRect(16, 372, 130, 32));
    btnAdd->PictureSet(QImage(QStringLiteral(":/tallyhour/images/icon16.png")));
    ButtonMake(window, QStringLiteral("Delete"), QRect(156, 372, 100, 32));
    auto* btnClose = ButtonMake(window, QStringLiteral("Close"), QRect(484, 372, 100, 32));
    QObject::connect(btnClose, &TImageButton::clicked, qApp, &QCoreApplication::quit);
    return window;
}

void ListFill(TMonitoredList& list)
{
    struct TSample
    {
        const char* Caption;
        TMonitoredItemType Type;
        int Seconds;
    };
    const TSample samples[] = {
        { "news.example.com", mitWeb, 1520 },
        { "Solitaire", mitApp, 4210 },
        { "video.example.net", mitWeb, 2290 },
        { "chat.example.org", mitWeb, 610 },
        { "Pinball", mitApp, 180 },
    };
    for (const auto& sample : samples) {
        auto item = std::make_unique<TMonitoredItem>();
        item->Caption = sample.Caption;
        item->Name = sample.Caption;
        item->ItemType = sample.Type;
        item->Duration = sample.Seconds;
        list.Add(sample.Caption, std::move(item));
    }
}

} // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QString skinName = QStringLiteral("Blue");
    uint32_t color = 0x3a2a1c; // a deep blue, 0xBBGGRR
    int quitAfter = 0;
    bool mainViews = false;
    QString mainViewsFolder;
    QStringList args = app.arguments();
    if (const int at = args.indexOf(QStringLiteral("--main-views")); at > 0) {
        mainViews = true;
        if (at + 1 < args.size() && !args[at + 1].startsWith(QLatin1String("--"))) {
            mainViewsFolder = args[at + 1];
            args.removeAt(at + 1);
        }
        args.removeAt(at);
    }
    for (int i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) {
            std::cerr << "usage: tallyhour-gallery [--skin NAME] [--color 0xBBGGRR] [--quit-after MS] [--main-views "
                         "[FOLDER]]\n";
            return 2;
        }
        if (args[i] == QLatin1String("--skin")) {
            skinName = args[i + 1];
        } else if (args[i] == QLatin1String("--color")) {
            color = args[i + 1].toUInt(nullptr, 0);
        } else if (args[i] == QLatin1String("--quit-after")) {
            quitAfter = args[i + 1].toInt();
        } else {
            std::cerr << "usage: tallyhour-gallery [--skin NAME] [--color 0xBBGGRR] [--quit-after MS] [--main-views "
                         "[FOLDER]]\n";
            return 2;
        }
    }

    // The gallery never touches the user's preferences.
    TAppearanceMemory appearance;
    appearance.BackgroundColor = color;
    appearance.Transparency = 0;
    TSkinList skins;
    skins.Load(SkinsFolder());
    for (int i = 0; i < skins.Count(); ++i) {
        if (QString::fromStdString(skins.Entries(i).Name).compare(skinName, Qt::CaseInsensitive) == 0) {
            appearance.BackgroundImage = skins.Entries(i).Path;
        }
    }
    AppearanceSourceSet(&appearance);
    std::cout << "skins found: " << skins.Count() << ", using: "
              << (appearance.BackgroundImage.empty() ? std::string("<No Image>") : appearance.BackgroundImage) << "\n";

    if (mainViews) {
        QObject* views = MainViewsShow(mainViewsFolder);
        if (quitAfter > 0) {
            QTimer::singleShot(quitAfter, &app, &QCoreApplication::quit);
        }
        const int result = app.exec();
        MainViewsFree(views);
        AppearanceSourceSet(nullptr);
        return result;
    }

    TMonitoredList list;
    ListFill(list);
    TfrmBase* gallery = GalleryWindowMake(list);
    gallery->move(30, 40);
    gallery->show();

    auto* warning = new TfrmWarning();
    warning->setWindowTitle(QStringLiteral("Please Note"));
    warning->lblWarning->setText(QStringLiteral("Limit can't be greater than 23:59"));
    warning->move(670, 40);
    warning->show();

    auto* error = new TfrmErrorMessage();
    error->ErrorText = QStringLiteral("Gallery sample error");
    error->move(670, 240);
    error->show();

    auto* transparency = new TfrmTransparencySettings();
    transparency->move(670, 470);
    transparency->show();

    if (quitAfter > 0) {
        QTimer::singleShot(quitAfter, &app, &QCoreApplication::quit);
    }
    const int result = app.exec();
    AppearanceSourceSet(nullptr);
    delete gallery;
    return result;
}
