#include "ui/framework/FrmErrorMessage.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTextLayout>

namespace {

// The gap of 19 blanks is where the "contact us" link lies over the text.
const char* const kDescription = "Sorry: The application has a hiccup. Please continue. If you see this message "
                                 "again then                   with a copy of the error message. Apologies for any "
                                 "inconvenience.";

} // namespace

TfrmErrorMessage::TfrmErrorMessage(QWidget* parent)
    : TfrmBase(parent)
{
    resize(420, 184);
    setWindowTitle(QStringLiteral("Application Error"));

    lblDescription = new QLabel(QString::fromLatin1(kDescription), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setGeometry(20, 46, 380, 80);
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelOnBackgroundSet(lblDescription);

    lblRegister = new QLabel(QStringLiteral("contact us"), this);
    lblRegister->setObjectName(QStringLiteral("lblRegister"));
    QFont linkFont = lblRegister->font();
    linkFont.setUnderline(true);
    lblRegister->setFont(linkFont);
    lblRegister->setCursor(Qt::PointingHandCursor);
    LabelOnBackgroundSet(lblRegister);
    lblRegister->installEventFilter(this);

    btnCopyErrorToClipboard = ButtonAdd(
        QStringLiteral("btnCopyErrorToClipboard"), QStringLiteral("Copy Error to Clipboard"), QRect(20, 138, 220, 28));
    btnOk = ButtonAdd(QStringLiteral("btnOk"), QStringLiteral("OK"), QRect(310, 138, 90, 28));
    connect(btnCopyErrorToClipboard, &TImageButton::clicked, this, &TfrmErrorMessage::btnCopyErrorToClipboardClick);
    connect(btnOk, &TImageButton::clicked, this, &QDialog::accept);

    DialogKeysAdd(miOk, miCancel, true);
    // The focus starts on OK, so Enter still means OK and not the copy.
    btnOk->setFocus();
    RegisterLinkPlace();
}

void TfrmErrorMessage::ErrorShow(const QString& text)
{
    ErrorText = text;
    setWindowTitle(QStringLiteral("Application Error"));
    exec();
}

void TfrmErrorMessage::btnCopyErrorToClipboardClick()
{
    QGuiApplication::clipboard()->setText(ErrorText);
}

// Lays the link over the blank gap of the description, wherever the word wrap puts that gap
// with the fonts at hand.
void TfrmErrorMessage::RegisterLinkPlace()
{
    const QString text = lblDescription->text();
    const int gapStart = text.indexOf(QStringLiteral("then ")) + 5;
    QTextLayout layout(text, lblDescription->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(lblDescription->width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    const int gapEnd = text.indexOf(QStringLiteral(" with"), gapStart);
    QTextLine gapLine = layout.lineForTextPosition(gapStart);
    lblRegister->adjustSize();
    if (!gapLine.isValid()) {
        lblRegister->move(lblDescription->pos());
        return;
    }
    // Centred in the gap when the gap stays on one line, else at the gap's start.
    int x = int(gapLine.cursorToX(gapStart));
    if (gapEnd > gapStart && layout.lineForTextPosition(gapEnd).lineNumber() == gapLine.lineNumber()) {
        const int gapWidth = int(gapLine.cursorToX(gapEnd)) - x;
        x += (gapWidth - lblRegister->width()) / 2;
    }
    lblRegister->move(lblDescription->x() + x, lblDescription->y() + int(gapLine.y()));
    lblRegister->raise();
}

void TfrmErrorMessage::showEvent(QShowEvent* event)
{
    TfrmBase::showEvent(event);
    RegisterLinkPlace();
}

bool TfrmErrorMessage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblRegister && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        OpenWebPage(SitePageAddress(QStringLiteral("/contact")));
        return true;
    }
    return TfrmBase::eventFilter(watched, event);
}
