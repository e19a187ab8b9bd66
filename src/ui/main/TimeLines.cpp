#include "ui/main/TimeLines.h"

#include "ui/main/MainDisplay.h"
#include "ui/main/MainPageParts.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMouseEvent>

#include <functional>

namespace {

// Clicks on a label run `clicked`, as the links of the time lines do.
class TLabelClick : public QObject
{
public:
    TLabelClick(QLabel* label, std::function<void()> clicked)
        : QObject(label)
        , m_clicked(std::move(clicked))
    {
        label->installEventFilter(this);
        label->setCursor(Qt::PointingHandCursor);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_clicked();
            return true;
        }
        return false;
    }

private:
    std::function<void()> m_clicked;
};

// A time line: its title and, in a larger font, its value right after the title's own measure
// (a text's advance can be a pixel short of the ink it draws, the label's hint is not).
QWidget* TimeLineMake(QWidget* parent, const QString& name, QLabel*& title, const QString& titleName, QLabel*& value,
    const QString& valueName)
{
    auto* line = new QWidget(parent);
    line->setObjectName(name);
    title = new QLabel(line);
    value = new QLabel(line);
    title->setObjectName(titleName);
    value->setObjectName(valueName);
    for (QLabel* label : { title, value }) {
        label->setTextFormat(Qt::PlainText);
        LabelOnBackgroundSet(label);
    }
    QFont valueFont = value->font();
    valueFont.setPixelSize(18);
    value->setFont(valueFont);
    title->setFixedHeight(20);
    // The value's larger font needs the line's whole height.
    value->setFixedHeight(26);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->setSpacing(6);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(title);
    layout->addWidget(value);
    layout->addSpacing(24);
    return line;
}

QLabel* LinkMake(QWidget* parent, const QString& name)
{
    QLabel* link = MainPageParts::LabelMake(parent, name, QString(), 200);
    QFont linkFont = link->font();
    linkFont.setUnderline(true);
    linkFont.setBold(false);
    linkFont.setPixelSize(11);
    link->setFont(linkFont);
    return link;
}

// Places the widget's controls at once, also while the window is hidden.
void Relayout(QWidget* widget)
{
    widget->layout()->invalidate();
    widget->layout()->activate();
}

} // namespace

TTimeLines::TTimeLines(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlTimeLines"));
    pnlMain_TimeOnline = TimeLineMake(this, QStringLiteral("pnlMain_TimeOnline"), lblMain_TimeTitle,
        QStringLiteral("lblMain_TimeTitle"), lblMain_Time, QStringLiteral("lblMain_Time"));
    lblMain_TimeLink = LinkMake(this, QStringLiteral("lblMain_TimeLink"));
    pnlMain_FocusTime = TimeLineMake(this, QStringLiteral("pnlMain_FocusTime"), lblMain_FocusTimeTitle,
        QStringLiteral("lblMain_FocusTimeTitle"), lblMain_FocusTime, QStringLiteral("lblMain_FocusTime"));
    lblMain_FocusModeTimeLink = LinkMake(this, QStringLiteral("lblMain_FocusModeTimeLink"));
    pnlMain_FocusTime->hide();
    lblMain_FocusModeTimeLink->hide();
    btnFocus = MainPageParts::ButtonMake(this, QStringLiteral("btnFocus"), QStringLiteral("Focus"), 76, 26);
    new TLabelClick(lblMain_TimeLink, [this] { emit TimeLinkClicked(); });
    new TLabelClick(lblMain_FocusModeTimeLink, [this] { emit FocusLinkClicked(); });
    connect(btnFocus, &TImageButton::clicked, this, &TTimeLines::FocusClicked);

    // One line and its link at a time: the other pair is hidden and takes no room.
    auto* lines = new QVBoxLayout;
    lines->setSpacing(0);
    for (QWidget* line : { pnlMain_TimeOnline, pnlMain_FocusTime }) {
        lines->addWidget(line, 0, Qt::AlignLeft);
    }
    auto* links = new QVBoxLayout;
    links->setContentsMargins(4, 0, 0, 0);
    links->addWidget(lblMain_TimeLink);
    links->addWidget(lblMain_FocusModeTimeLink);
    lines->addLayout(links);
    lines->addStretch();
    auto* focus = new QVBoxLayout;
    focus->setContentsMargins(0, 2, 0, 0);
    focus->addWidget(btnFocus);
    focus->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 0);
    layout->setSpacing(0);
    layout->addLayout(lines);
    layout->addStretch();
    layout->addLayout(focus);
}

void TTimeLines::TimeLineSet(const TTimeLineTexts& texts)
{
    lblMain_TimeTitle->setText(QString::fromStdString(texts.Title));
    lblMain_TimeLink->setText(QString::fromStdString(texts.Link));
    lblMain_Time->setText(QString::fromStdString(texts.Value));
    // The line's width follows its texts.
    Relayout(pnlMain_TimeOnline);
}

void TTimeLines::FocusLineSet(const TTimeLineTexts& texts)
{
    lblMain_FocusTimeTitle->setText(QString::fromStdString(texts.Title));
    lblMain_FocusModeTimeLink->setText(QString::fromStdString(texts.Link));
    Relayout(pnlMain_FocusTime);
}

void TTimeLines::FocusValueSet(const QString& value)
{
    lblMain_FocusTime->setText(value);
    Relayout(pnlMain_FocusTime);
}

void TTimeLines::FocusShow(bool shown)
{
    pnlMain_TimeOnline->setVisible(!shown);
    lblMain_TimeLink->setVisible(!shown);
    btnFocus->setVisible(!shown);
    pnlMain_FocusTime->setVisible(shown);
    lblMain_FocusModeTimeLink->setVisible(shown);
    Relayout(this);
}

bool TTimeLines::FocusShown() const
{
    return !pnlMain_FocusTime->isHidden();
}
