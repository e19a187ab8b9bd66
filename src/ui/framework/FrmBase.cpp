#include "ui/framework/FrmBase.h"

#include "ui/framework/Appearance.h"
#include "ui/framework/FrmDeleteConfirm.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/framework/TimeEntry.h"

#include "model/ProgramLog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QShortcutEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>

static void FrameworkResourcesInitOnce()
{
    Q_INIT_RESOURCE(framework);
}

void FrameworkResourcesInit()
{
    static const bool done = (FrameworkResourcesInitOnce(), true);
    (void)done;
}

namespace {

constexpr int kHeaderHeight = 32;
constexpr int kCornerSize = 20;
constexpr int kComboArrowWidth = 26;
const char* const kTabOrderProperty = "TabOrder";
const char* const kPageSheetProperty = "PageSheet";
const char* const kTextColoredProperty = "TextColored";
const char* const kComboClippedProperty = "ComboClipped";
const char* const kPlaceWatchedProperty = "PlaceWatched";
const char* const kPageGrowthProperty = "PageGrowth";

std::function<void(const QString&)>& WebPageOpener()
{
    static std::function<void(const QString&)> opener;
    return opener;
}

// Hides the combo box's own arrow; the window puts its skinned button there.
void ComboMaskSet(QComboBox* combo)
{
    combo->setMask(QRegion(0, 0, std::max(0, combo->width() - kComboArrowWidth), combo->height()));
}

// Keeps a clipped combo box clipped when its size changes.
class TComboClipKeeper : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            ComboMaskSet(static_cast<QComboBox*>(watched));
        }
        return false;
    }
};

bool IsListKey(int key)
{
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
}

// A control of an open list, or the list's own window (which hands keys on to its controls).
bool InPopup(QObject* receiver)
{
    if (auto* widget = qobject_cast<QWidget*>(receiver)) {
        return widget->window()->windowType() == Qt::Popup;
    }
    auto* window = qobject_cast<QWindow*>(receiver);
    return window && window->type() == Qt::Popup;
}

// An open list (a drop-down, a menu) takes Esc, Enter and Return first, as on every desktop: the
// key that answers the list is not also the window's key (its short-cut, or the dialog's own Esc),
// by whatever road it reaches the window while the list is open or after it closed. A key is the
// list's from the press that finds a list open until that key is released.
class TPopupKeyGuard : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!IsListKey(key->key())) {
                if (event->type() == QEvent::KeyPress) {
                    m_listKey = 0;
                }
                return false;
            }
            if (QApplication::activePopupWidget()) {
                m_listKey = key->key();
                if (event->type() == QEvent::ShortcutOverride && qobject_cast<QWidget*>(watched) && !InPopup(watched)) {
                    // Taken as a plain key press, which goes to the open list, not to a short-cut.
                    event->accept();
                    return true;
                }
                return false;
            }
            return key->key() == m_listKey && !InPopup(watched);
        }
        case QEvent::Shortcut:
            return m_listKey != 0
                && static_cast<QShortcutEvent*>(event)->key().matches(QKeySequence(m_listKey))
                == QKeySequence::ExactMatch;
        case QEvent::KeyRelease:
            if (static_cast<QKeyEvent*>(event)->key() == m_listKey && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
                m_listKey = 0;
            }
            return false;
        default:
            return false;
        }
    }

private:
    int m_listKey = 0;
};

// The mark around the control that has the keyboard focus: a light frame under a dark dashed one,
// so that one of the two stands out on whatever skin, picture or palette lies under it. The
// style's own mark is a thin line in the palette's highlight colour, lost on a dark skin. The
// skinned buttons draw the same mark themselves.
class TFocusMark : public QWidget
{
public:
    explicit TFocusMark(QWidget* window)
        : QWidget(window)
        , m_window(window)
    {
        setObjectName(QStringLiteral("focusMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { Follow(now); });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect frame = rect().adjusted(1, 1, -2, -2);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRect(frame);
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawRect(frame);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_target) {
            switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::ParentChange:
                // After the change is done (a page lifts its controls one by one).
                QTimer::singleShot(0, this, [this] { Place(); });
                break;
            default:
                break;
            }
        }
        return false;
    }

private:
    void Follow(QWidget* now)
    {
        if (m_target) {
            m_target->removeEventFilter(this);
        }
        const bool marked = now && now->window() == m_window && now != m_window && !qobject_cast<TImageButton*>(now);
        m_target = marked ? now : nullptr;
        if (m_target) {
            m_target->installEventFilter(this);
        }
        Place();
    }
    void Place()
    {
        QWidget* parent = m_target ? m_target->parentWidget() : nullptr;
        if (!parent || !m_target->isVisible() || !m_target->hasFocus()) {
            hide();
            return;
        }
        if (parentWidget() != parent) {
            setParent(parent);
        }
        setGeometry(m_target->geometry().adjusted(-3, -3, 3, 3));
        raise();
        show();
    }

    QWidget* m_window;
    QPointer<QWidget> m_target;
};

void PopupKeyGuardInstall()
{
    static QPointer<TPopupKeyGuard> guard;
    if (!guard && qApp) {
        guard = new TPopupKeyGuard(qApp);
        qApp->installEventFilter(guard);
    }
}

bool CanTakeFocus(QWidget* widget)
{
    return (widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() && !widget->isHidden();
}

int TabOrderOf(QWidget* widget)
{
    return widget->property(kTabOrderProperty).toInt();
}

// Gives the controls, already sorted, their tab order again one after the other. A widget that
// leaves its window goes to the end of the new window's focus chain; passing each control through
// no parent and back therefore lines them up in order. (QWidget::setTabOrder would be the direct
// way, but this Qt version ignores it for widgets that precede their new predecessor.)
void TabOrderChain(const std::vector<QWidget*>& controls)
{
    for (QWidget* control : controls) {
        QWidget* parent = control->parentWidget();
        const QPoint position = control->pos();
        const bool hidden = control->isHidden();
        control->setParent(nullptr);
        control->setParent(parent);
        control->move(position);
        control->setVisible(!hidden);
    }
}

// Controls that have no tab-order number yet (TfrmBase::TabOrderSet) get the place they hold in
// the window's focus chain, which is their order of creation.
void TabOrderNumbersEnsure(QWidget* sheet)
{
    bool missing = false;
    for (QWidget* child : sheet->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        missing = missing || !child->property(kTabOrderProperty).isValid();
    }
    if (!missing) {
        return;
    }
    int number = 0;
    QWidget* start = sheet->window();
    QWidget* widget = start;
    do {
        if (widget->parentWidget() == sheet && !widget->property(kTabOrderProperty).isValid()) {
            widget->setProperty(kTabOrderProperty, number);
        }
        ++number;
        widget = widget->nextInFocusChain();
    } while (widget && widget != start);
}

// The entry as the user sees it, every unfilled place of the mask a blank. (text() drops those
// places, so an untouched "99:99" entry would read ":" in the message.)
QString MaskedEntryText(const QLineEdit* edit)
{
    const QString mask = edit->inputMask();
    if (mask.isEmpty()) {
        return edit->text();
    }
    QString text = edit->displayText();
    if (mask.size() >= 2 && mask[mask.size() - 2] == QLatin1Char(';')) {
        text.replace(mask.back(), QLatin1Char(' '));
    }
    return text;
}

// Keeps a combo box's skinned drop button on its arrow, shown, hidden, enabled and disabled
// with it. While a page lifts the two one after the other they have different parents for a
// moment; the button waits until they share one again.
class TComboButtonKeeper : public QObject
{
public:
    TComboButtonKeeper(QComboBox* combo, TImageButton* button)
        : QObject(combo)
        , m_combo(combo)
        , m_button(button)
    {
        combo->installEventFilter(this);
        button->installEventFilter(this);
        Follow();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::EnabledChange:
        case QEvent::ParentChange:
            Follow();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void Follow()
    {
        if (!m_button || m_button->parentWidget() != m_combo->parentWidget()) {
            return;
        }
        m_button->setGeometry(m_combo->x() + m_combo->width() - kComboArrowWidth, m_combo->y() + 1, kComboArrowWidth,
            m_combo->height() - 2);
        m_button->setVisible(!m_combo->isHidden());
        m_button->setEnabled(m_combo->isEnabled());
        m_button->raise();
    }

    QComboBox* m_combo;
    QPointer<TImageButton> m_button;
};

// A control lying lower than this above a grown label's old bottom edge is below it.
constexpr int kBelowTolerance = 4;

int LowestBottom(const QWidget* parent, const std::vector<const QWidget*>& skipped)
{
    int lowest = 0;
    for (const QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || child->isHidden()
            || std::find(skipped.begin(), skipped.end(), child) != skipped.end()) {
            continue;
        }
        lowest = std::max(lowest, child->y() + child->height());
    }
    return lowest;
}

// The lowest bottom edge of the page controls lifted onto the window.
int PageLowestBottom(const QWidget* window)
{
    int lowest = 0;
    for (const QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden() && child->property(kPageSheetProperty).value<QObject*>()) {
            lowest = std::max(lowest, child->y() + child->height());
        }
    }
    return lowest;
}

// Moves what lies below `grown`'s old bottom edge down by `delta`; a container that no longer
// holds its controls grows too, and makes the same room in its own parent, up to the window.
void RoomMake(QWidget* grown, int oldBottom, int delta, QWidget* window)
{
    QWidget* parent = grown->parentWidget();
    if (!parent) {
        return;
    }
    for (QWidget* sibling : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (sibling != grown && !sibling->isWindow() && sibling->y() >= oldBottom - kBelowTolerance) {
            sibling->move(sibling->x(), sibling->y() + delta);
        }
    }
    if (parent == window) {
        return;
    }
    const int lowest = LowestBottom(parent, {});
    if (lowest > parent->height()) {
        const int parentBottom = parent->y() + parent->height();
        const int growth = lowest - parent->height();
        parent->resize(parent->width(), lowest);
        RoomMake(parent, parentBottom, growth, window);
    }
}

std::vector<QWidget*> TabOrderSorted(std::vector<QWidget*> controls)
{
    std::stable_sort(
        controls.begin(), controls.end(), [](QWidget* a, QWidget* b) { return TabOrderOf(a) < TabOrderOf(b); });
    return controls;
}

std::vector<QWidget*> TabControlsSorted(std::vector<QWidget*> controls)
{
    std::erase_if(controls, [](QWidget* w) { return !(w->focusPolicy() & Qt::TabFocus); });
    return TabOrderSorted(std::move(controls));
}

} // namespace

QPalette SkinnedPalette()
{
    const QColor text(0x36, 0x36, 0x36);
    const QColor grey(0x80, 0x80, 0x80);
    QPalette palette;
    const struct
    {
        QPalette::ColorRole Role;
        QColor Active;
        QColor Disabled;
    } roles[] = {
        { QPalette::Window, QColor(0xF0, 0xF0, 0xF0), QColor(0xF0, 0xF0, 0xF0) },
        { QPalette::WindowText, text, grey },
        { QPalette::Base, Qt::white, QColor(0xF0, 0xF0, 0xF0) },
        { QPalette::AlternateBase, QColor(0xF1, 0xF1, 0xF1), QColor(0xF1, 0xF1, 0xF1) },
        { QPalette::Text, text, grey },
        { QPalette::PlaceholderText, QColor(0x6E, 0x6E, 0x6E), grey },
        { QPalette::Button, QColor(0xE4, 0xE4, 0xE4), QColor(0xE4, 0xE4, 0xE4) },
        { QPalette::ButtonText, text, grey },
        { QPalette::BrightText, Qt::white, Qt::white },
        { QPalette::Light, Qt::white, Qt::white },
        { QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3), QColor(0xE3, 0xE3, 0xE3) },
        { QPalette::Mid, QColor(0xA0, 0xA0, 0xA0), QColor(0xA0, 0xA0, 0xA0) },
        { QPalette::Dark, QColor(0x9F, 0x9F, 0x9F), QColor(0x9F, 0x9F, 0x9F) },
        { QPalette::Shadow, QColor(0x69, 0x69, 0x69), QColor(0x69, 0x69, 0x69) },
        // The selection and the focus mark: white on a deep blue reads at 7:1.
        { QPalette::Highlight, QColor(0x1F, 0x5A, 0x9A), QColor(0xA0, 0xA0, 0xA0) },
        { QPalette::HighlightedText, Qt::white, Qt::white },
        // Links on the light fields; links on the window's background take the text colour.
        { QPalette::Link, QColor(0x1F, 0x5A, 0x9A), grey },
        { QPalette::LinkVisited, QColor(0x1F, 0x5A, 0x9A), grey },
        { QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xDC), QColor(0xFF, 0xFF, 0xDC) },
        { QPalette::ToolTipText, Qt::black, Qt::black },
    };
    for (const auto& role : roles) {
        palette.setColor(QPalette::Active, role.Role, role.Active);
        palette.setColor(QPalette::Inactive, role.Role, role.Active);
        palette.setColor(QPalette::Disabled, role.Role, role.Disabled);
    }
    return palette;
}

QString SitePageAddress(const QString& path)
{
    return QStringLiteral("https://") + QStringLiteral(TALLYHOUR_SITE_HOST) + path;
}

void WebPageOpenerSet(std::function<void(const QString&)> opener)
{
    WebPageOpener() = std::move(opener);
}

TfrmBase::TfrmBase(QWidget* parent)
    : QDialog(parent)
{
    FrameworkResourcesInit();
    PopupKeyGuardInstall();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);

    QFont formFont(QStringLiteral("Arial"));
    formFont.setPixelSize(13);
    formFont.setBold(true);
    setFont(formFont);
    // Every colour is the window's own: a dark desktop palette must not turn the white fields
    // and lists dark under their dark text.
    setPalette(SkinnedPalette());

    pnlBody = new TImagePanel(this);
    pnlBody->setObjectName(QStringLiteral("pnlBody"));
    pnlBody->BackgroundSet(PictureLoad(QStringLiteral(":/tallyhour/images/body.png")));
    pnlBody->SideWidthSet(12);
    pnlBody->SideHeightSet(12);

    pnlHeader = new TImagePanel(this);
    pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
    pnlHeader->BackgroundSet(PictureLoad(QStringLiteral(":/tallyhour/images/header.png")));
    pnlHeader->SideWidthSet(8);
    pnlHeader->SideHeightSet(8);
    pnlHeader->setGeometry(0, 0, width(), kHeaderHeight);
    pnlHeader->setCursor(Qt::SizeAllCursor);

    imgIcon = new QLabel(pnlHeader);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(3, 3, 24, 24);
    imgIcon->setPixmap(QPixmap(QStringLiteral(":/tallyhour/images/icon24.png")));

    lblCaption = new QLabel(pnlHeader);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->move(32, 7);
    LabelOnBackgroundSet(lblCaption);

    pnlHeader->installEventFilter(this);
    lblCaption->installEventFilter(this);
    new TFocusMark(this);

    // Window creation: colour and transparency now; the text colour and the combo clipping wait
    // for the first show, when the window's own controls exist.
    ApplyColor(ColorFromNumber(Appearance().BackgroundColorGet()));
    ApplyTransparency(Appearance().TransparencyGet());
}

TfrmBase::~TfrmBase() = default;

bool TfrmBase::CanMoveTo(int, int)
{
    return true;
}

void TfrmBase::RoundOutline()
{
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, width(), height()), kCornerSize / 2.0, kCornerSize / 2.0);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void TfrmBase::ComboClip(QComboBox* combo)
{
    if (!combo->property(kComboClippedProperty).toBool()) {
        combo->setProperty(kComboClippedProperty, true);
        combo->installEventFilter(new TComboClipKeeper(combo));
    }
    ComboMaskSet(combo);
}

TImageButton* TfrmBase::ComboDropButtonAdd(QComboBox* combo)
{
    auto* button = new TImageButton(combo->parentWidget());
    button->setObjectName(QStringLiteral("btnCombo_") + combo->objectName());
    button->SkinSet(QStringLiteral("combo"));
    button->SideWidthSet(6);
    button->SideHeightSet(6);
    QObject::connect(button, &TImageButton::clicked, combo, &QComboBox::showPopup);
    new TComboButtonKeeper(combo, button);
    return button;
}

void TfrmBase::TextFit()
{
    const std::vector<const QWidget*> frame { pnlHeader, pnlBody };
    const int lowestBefore = LowestBottom(this, frame);
    // The page shown, if any, and where its controls and the window's own ones stand now.
    QWidget* sheet = nullptr;
    std::vector<std::pair<QWidget*, int>> ownPlaces;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (auto* lifted = qobject_cast<QWidget*>(child->property(kPageSheetProperty).value<QObject*>())) {
            sheet = lifted;
        } else if (!child->isWindow() && child != pnlHeader && child != pnlBody) {
            ownPlaces.emplace_back(child, child->y());
        }
    }
    const int pageLowestBefore = sheet ? PageLowestBottom(this) : 0;

    std::vector<QLabel*> labels;
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->wordWrap() && label->isVisibleTo(this) && !label->text().isEmpty()) {
            labels.push_back(label);
        }
    }
    std::stable_sort(labels.begin(), labels.end(),
        [this](QLabel* a, QLabel* b) { return a->mapTo(this, QPoint()).y() < b->mapTo(this, QPoint()).y(); });
    for (QLabel* label : labels) {
        const int needed = label->heightForWidth(label->width());
        if (needed <= label->height()) {
            continue;
        }
        const int oldBottom = label->y() + label->height();
        const int delta = needed - label->height();
        label->resize(label->width(), needed);
        RoomMake(label, oldBottom, delta, this);
    }

    // The window grows by as much as its lowest control went down; a window cut short on purpose
    // (the main window's Lite view) stays as it is when nothing grew.
    int growth = LowestBottom(this, frame) - lowestBefore;
    if (sheet) {
        // The pages share the window: it grows for the page that needs the most room, not by the
        // sum of every page's growth as the user steps through them. The window's own controls
        // below the page (the settings' Back and Next) went down with this page's texts; they go
        // only as far as the room this page needs beyond what an earlier page already made.
        const int pageGrowth = sheet->property(kPageGrowthProperty).toInt() + PageLowestBottom(this) - pageLowestBefore;
        sheet->setProperty(kPageGrowthProperty, pageGrowth);
        growth = std::max(0, pageGrowth - m_pageRoom);
        m_pageRoom = std::max(m_pageRoom, pageGrowth);
        for (const auto& [control, top] : ownPlaces) {
            if (control->y() > top) {
                control->move(control->x(), top + std::min(growth, control->y() - top));
            }
        }
    }
    if (growth > 0) {
        if (minimumHeight() == maximumHeight()) {
            setFixedHeight(height() + growth);
        } else {
            resize(width(), height() + growth);
        }
    }
}

void TfrmBase::TabOrderSet(QWidget* control, int number)
{
    control->setProperty(kTabOrderProperty, number);
}

void TfrmBase::ShowPage(QWidget* sheet)
{
    QWidget* pageControl = sheet->parentWidget();
    QWidget* target = pageControl ? pageControl->parentWidget() : nullptr;
    if (!target) {
        return;
    }
    TabOrderNumbersEnsure(sheet);
    const auto children = sheet->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const std::vector<QWidget*> controls(children.begin(), children.end());
    const auto tabControls = TabControlsSorted(controls);

    const std::vector<QWidget*> byTabOrder = TabOrderSorted(controls);
    const QPoint offset = pageControl->pos();
    for (QWidget* control : byTabOrder) {
        const QPoint position = control->pos() + offset;
        const bool hidden = control->isHidden();
        control->setParent(target);
        control->move(position);
        control->setProperty(kPageSheetProperty, QVariant::fromValue(static_cast<QObject*>(sheet)));
        control->setVisible(!hidden);
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            ComboClip(combo);
        }
    }

    if (QWidget* focused = focusWidget()) {
        focused->clearFocus();
    }
    TabOrderChain(tabControls);
    for (QWidget* control : tabControls) {
        if (CanTakeFocus(control)) {
            control->setFocus(Qt::TabFocusReason);
            break;
        }
    }
}

void TfrmBase::ReturnPageControls()
{
    std::vector<QWidget*> lifted;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->property(kPageSheetProperty).value<QObject*>()) {
            lifted.push_back(child);
        }
    }
    const auto tabControls = TabControlsSorted(lifted);
    for (QWidget* control : lifted) {
        auto* sheet = qobject_cast<QWidget*>(control->property(kPageSheetProperty).value<QObject*>());
        const QPoint offset = sheet->parentWidget() ? sheet->parentWidget()->pos() : QPoint();
        const QPoint position = control->pos() - offset;
        const bool hidden = control->isHidden();
        control->setParent(sheet);
        control->move(position);
        control->setProperty(kPageSheetProperty, QVariant());
        control->setVisible(!hidden);
    }
    TabOrderChain(tabControls);
}

void TfrmBase::PageChange(QWidget* sheet)
{
    if (auto* pageControl = qobject_cast<QStackedWidget*>(sheet->parentWidget())) {
        pageControl->setCurrentWidget(sheet);
    }
    ReturnPageControls();
    ShowPage(sheet);
    TextFit();
}

void TfrmBase::ListBoxRowsFill(QListWidget* listBox)
{
    // The rows are as high as the list's drawing makes them, which an empty list can only say
    // with a row in it: the font's height would leave a list of lower rows ruled only part way.
    const bool measuring = listBox->count() == 0;
    if (measuring) {
        listBox->addItem(QString());
    }
    int itemHeight = listBox->sizeHintForRow(0);
    if (itemHeight <= 0) {
        itemHeight = listBox->fontMetrics().height();
    }
    // The rows fit inside the frame, and the empty rows of an earlier call count: a list topped
    // up again (a page shown anew) would otherwise pile them up past its bottom, under a scroll bar.
    const int rows = (listBox->height() - 2 * listBox->frameWidth()) / std::max(1, itemHeight);
    const int missing = rows - listBox->count();
    if (missing > 0) {
        listBox->setUpdatesEnabled(false);
        for (int i = 0; i < missing; ++i) {
            listBox->addItem(QString());
        }
        listBox->setUpdatesEnabled(true);
    }
}

void TfrmBase::ApplyColor(const QColor& color)
{
    m_color = color;
    update();
}

void TfrmBase::ApplyTextColor(const QColor& color)
{
    const QColor formFontColor = palette().color(QPalette::WindowText);
    for (QLabel* label : findChildren<QLabel*>()) {
        // A label that took the text colour once keeps taking it, even when the user picked
        // the form's own font colour in between.
        if (label->palette().color(QPalette::WindowText) != formFontColor
            || label->property(kTextColoredProperty).toBool()) {
            QPalette labelPalette = label->palette();
            labelPalette.setColor(QPalette::WindowText, color);
            label->setPalette(labelPalette);
            // A link on the background reads like the texts around it; its underline marks it.
            LabelLinkColorSet(label, color);
            label->setProperty(kTextColoredProperty, true);
        }
    }
}

void TfrmBase::ApplyTransparency(int percent)
{
    m_alphaBlendValue = TransparencyAlpha(percent);
    setWindowOpacity(m_alphaBlendValue / 255.0);
}

void TfrmBase::ShowMessage(const QString& text, const QString& title)
{
    auto* window = new TfrmWarning();
    window->setWindowTitle(title);
    window->lblWarning->setText(text);
    window->exec();
}

bool TfrmBase::ConfirmDelete(const QString& caption)
{
    auto* window = new TfrmDeleteConfirm();
    window->DescriptionSet(caption);
    return window->exec() == QDialog::Accepted;
}

bool TfrmBase::TimeEntryCheck(QLineEdit* edit)
{
    const std::string message = TimeEntryMessage(MaskedEntryText(edit).toStdString());
    if (message.empty()) {
        return true;
    }
    ShowMessage(QString::fromStdString(message), QStringLiteral("Please Note"));
    edit->setFocus(Qt::OtherFocusReason);
    return false;
}

void TfrmBase::OpenWebPage(const QString& address)
{
    if (WebPageOpener()) {
        WebPageOpener()(address);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl(address))) {
        LogMessageWrite("Web page could not be opened: " + address.toStdString());
    }
}

void TfrmBase::DragStart(const QPoint& pressPoint)
{
    if (!isMaximized() && !isMinimized()) {
        m_dragOrigin = pressPoint;
    }
}

void TfrmBase::DragStep(const QPoint& screenPoint, Qt::MouseButtons buttons)
{
    if (!(buttons & Qt::LeftButton) || isMaximized() || isMinimized() || AutohideState != 0) {
        return;
    }
    int left = screenPoint.x() - m_dragOrigin.x();
    int top = screenPoint.y() - m_dragOrigin.y();
    if (!CanMoveTo(left, top)) {
        return;
    }
    const QRect area = WorkArea();
    // Far edges first, near edges last: a window larger than the work area keeps its header on
    // the screen, where it can still be grabbed.
    if (top + height() > area.top() + area.height()) {
        top = area.top() + area.height() - height();
    }
    if (left + width() > area.left() + area.width()) {
        left = area.left() + area.width() - width();
    }
    top = std::max(top, area.top());
    left = std::max(left, area.left());
    move(left, top);
}

QRect TfrmBase::WorkArea() const
{
    const QScreen* current = screen() ? screen() : QGuiApplication::primaryScreen();
    return current ? current->availableGeometry() : QRect(0, 0, 1024, 768);
}

void TfrmBase::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_color);
    const QImage& picture = BackgroundPicture();
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) {
        return;
    }
    const int columns = width() / picture.width();
    const int rows = height() / picture.height();
    for (int column = 0; column <= columns; ++column) {
        for (int row = 0; row <= rows; ++row) {
            painter.drawImage(column * picture.width(), row * picture.height(), picture);
        }
    }
}

void TfrmBase::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    pnlHeader->setGeometry(0, 0, width(), kHeaderHeight);
    pnlBody->setGeometry(0, kHeaderHeight, width(), std::max(0, height() - kHeaderHeight));
    lblCaption->resize(std::max(0, width() - 40), 18);
    RoundOutline();
}

void TfrmBase::showEvent(QShowEvent* event)
{
    if (!m_shownBefore) {
        m_shownBefore = true;
        for (QComboBox* combo : findChildren<QComboBox*>(Qt::FindDirectChildrenOnly)) {
            ComboClip(combo);
        }
        ApplyTextColor(ColorFromNumber(Appearance().TextColorGet()));
        TextFit();
        if (!testAttribute(Qt::WA_Moved)) {
            const QRect area = WorkArea();
            move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
        }
    }
    QDialog::showEvent(event);
    // Every press on the window says where the window really is (see eventFilter).
    if (QWindow* handle = windowHandle(); handle && !handle->property(kPlaceWatchedProperty).toBool()) {
        handle->setProperty(kPlaceWatchedProperty, true);
        handle->installEventFilter(this);
    }
    raise();
    // A window that comes by itself (the time-up window) must not take the keys the user is
    // typing into another program.
    if (!testAttribute(Qt::WA_ShowWithoutActivating)) {
        activateWindow();
    }
}

void TfrmBase::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange) {
        lblCaption->setText(windowTitle());
    }
    QDialog::changeEvent(event);
}

bool TfrmBase::eventFilter(QObject* watched, QEvent* event)
{
    // Some window managers (openbox, for a frameless window shown before any other) leave Qt
    // believing the window sits at the screen's corner; everything Qt places by the window, the
    // drop-down lists first, then opens hundreds of pixels away. The pointer coming in and every
    // press carry the window's true place (the pointer on the screen less the pointer in the
    // window): Qt learns it from there, before a press opens anything.
    if (watched == windowHandle() && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Enter)) {
        auto* mouse = static_cast<QSinglePointEvent*>(event);
        const QPoint truePlace = mouse->globalPosition().toPoint() - mouse->position().toPoint();
        if (truePlace != windowHandle()->geometry().topLeft()) {
            move(truePlace);
        }
        return false;
    }
    if (watched == pnlHeader || watched == lblCaption) {
        auto* control = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                DragStart(control->mapTo(this, mouse->position().toPoint()));
            }
        } else if (event->type() == QEvent::MouseMove) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            DragStep(mouse->globalPosition().toPoint(), mouse->buttons());
        }
    }
    return QDialog::eventFilter(watched, event);
}

TImageButton* TfrmBase::ButtonAdd(const QString& name, const QString& text, const QRect& geometry)
{
    auto* button = new TImageButton(this);
    button->setObjectName(name);
    button->SkinSet(QStringLiteral("button"));
    button->setText(text);
    button->setGeometry(geometry);
    return button;
}

void TfrmBase::DialogKeysAdd(QAction*& miOk, QAction*& miCancel, bool cancelAccepts)
{
    miOk = new QAction(QStringLiteral("OK"), this);
    miOk->setShortcuts({ QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) });
    miCancel = new QAction(QStringLiteral("Cancel"), this);
    miCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(miOk);
    addAction(miCancel);
    connect(miOk, &QAction::triggered, this, &QDialog::accept);
    connect(miCancel, &QAction::triggered, this, cancelAccepts ? &QDialog::accept : &QDialog::reject);
}
