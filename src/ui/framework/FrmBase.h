#pragma once

#include <QDialog>
#include <QPoint>

#include <cstdint>
#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class TImageButton;
class TImagePanel;

// The font colour every window is designed with; labels drawn in it (the dark texts on the
// white list panels) keep it when the user picks a text colour.
constexpr uint32_t kFormFontColor = 0x363636;

// The skinned base of every window: no system frame, rounded corners, a picture header that
// carries the icon and title and drags the window, a body in the user's background colour with
// the background picture tiled over it, the user's text colour and transparency. A window frees
// itself when it closes.
class TfrmBase : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmBase(QWidget* parent = nullptr);
    ~TfrmBase() override;

    TImagePanel* pnlHeader = nullptr;
    QLabel* imgIcon = nullptr;
    QLabel* lblCaption = nullptr;
    TImagePanel* pnlBody = nullptr;

    // Set only by the main window while it is docked or sliding; dragging waits for 0.
    uint8_t AutohideState = 0;

    // Asked before every drag step with the window's new top-left corner.
    virtual bool CanMoveTo(int left, int top);

    // Gives the window its rounded outline (20 x 20 corners) for its current size.
    void RoundOutline();
    // Hides the combo box's own drop arrow; the window puts a skinned drop button there.
    static void ComboClip(QComboBox* combo);
    // That skinned drop button: on the combo's parent over the clipped arrow, it opens the list and
    // follows the combo's place, visibility and enabled state (also when a page lifts both).
    static TImageButton* ComboDropButtonAdd(QComboBox* combo);

    // Gives every word-wrapped label the height its text needs at its width: what lies below it
    // moves down and the window grows with it, so the designed sizes are the least a window has.
    // Runs at the first show and for each page shown; a window whose texts change later calls it.
    void TextFit();

    // The page mechanism. Pages are the child widgets of a hidden page control (a stacked
    // widget); the controls of one page at a time are lifted onto the page control's parent.
    void ShowPage(QWidget* sheet);
    void ReturnPageControls();
    // The tab-order number of a control on a page; controls without one keep their order of
    // creation.
    static void TabOrderSet(QWidget* control, int number);
    // Makes `sheet` the page control's current page and lifts its controls instead of the
    // previous page's.
    void PageChange(QWidget* sheet);

    // Tops the list box up with empty rows so its ruled lines fill it down to the bottom.
    static void ListBoxRowsFill(QListWidget* listBox);

    void ApplyColor(const QColor& color);
    void ApplyTextColor(const QColor& color);
    void ApplyTransparency(int percent);
    QColor Color() const
    {
        return m_color;
    }
    bool AlphaBlend() const
    {
        return m_alphaBlendValue != 255;
    }
    int AlphaBlendValue() const
    {
        return m_alphaBlendValue;
    }

    // The message window, modal; every "Please Note" and "Information" message goes through it.
    static void ShowMessage(const QString& text, const QString& title);
    // The delete confirmation, modal; true when the user chose "OK".
    static bool ConfirmDelete(const QString& caption);
    // Checks a "hh:nn" time-limit entry; on a fault shows why, focuses the edit, answers false.
    static bool TimeEntryCheck(QLineEdit* edit);
    // Opens the address in the user's default browser.
    static void OpenWebPage(const QString& address);

    // Dragging by the header, exposed so the rules can be checked without a mouse. `pressPoint`
    // is in window coordinates, `screenPoint` is the mouse on the screen.
    void DragStart(const QPoint& pressPoint);
    void DragStep(const QPoint& screenPoint, Qt::MouseButtons buttons);
    // The part of the screen windows may occupy (without panels and docks).
    virtual QRect WorkArea() const;

protected:
    // A skinned push button on this window's body.
    TImageButton* ButtonAdd(const QString& name, const QString& text, const QRect& geometry);
    // The hidden menu items every dialog answers Enter and Esc through; Esc closes with OK where
    // the window has nothing to cancel.
    void DialogKeysAdd(QAction*& miOk, QAction*& miCancel, bool cancelAccepts);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QColor m_color = Qt::gray;
    int m_alphaBlendValue = 255;
    QPoint m_dragOrigin;
    bool m_shownBefore = false;
    // How far the window grew for its pages: as far as the page that needed the most room.
    int m_pageRoom = 0;
};

// The colours of everything a skinned window draws besides its own background: light fields,
// lists and drop-down lists with dark text, whatever palette the desktop hands the program.
QPalette SkinnedPalette();

// The address of a page of the maker's web site, such as "/contact".
QString SitePageAddress(const QString& path);

// Replaces the browser launch (tests record the address instead); an empty function restores
// the system's default handler.
void WebPageOpenerSet(std::function<void(const QString&)> opener);

// Makes the framework's pictures available; the base window calls it, tools may call it early.
void FrameworkResourcesInit();
