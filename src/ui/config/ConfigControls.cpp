#include "ui/config/ConfigControls.h"

#include "ui/framework/FrmBase.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImagePanel.h"

#include <QLabel>
#include <QLineEdit>

QLabel* ConfigLabelAdd(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setWordWrap(geometry.height() > 24);
    LabelOnBackgroundSet(label);
    return label;
}

QLabel* ConfigHeadAdd(
    QWidget* parent, const QString& name, const QString& text, const QRect& geometry, Qt::Alignment alignment)
{
    // On a light band of its own, as the main window's heads are: dark text on the user's dark
    // background or picture would be nearly invisible.
    auto* panel = new TImagePanel(parent);
    panel->setObjectName(QStringLiteral("pnl") + name);
    panel->TransparentSet(false);
    panel->ColorSet(QColor(0xE4, 0xE4, 0xE4));
    panel->setGeometry(geometry);
    auto* head = new QLabel(text, panel);
    head->setObjectName(QStringLiteral("lbl") + name);
    head->setGeometry(0, 0, geometry.width(), geometry.height());
    head->setAlignment(alignment | Qt::AlignVCenter);
    return head;
}

QLineEdit* ConfigEditAdd(QWidget* parent, const QString& name, const QRect& geometry, bool masked)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    if (masked) {
        edit->setEchoMode(QLineEdit::Password);
        // A style sheet starts from the desktop's palette; it names every colour the field draws.
        edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; background: white; "
                                           "color: #363636; selection-background-color: #1F5A9A; "
                                           "selection-color: white; }"));
    }
    return edit;
}

QLabel* ConfigLinkAdd(
    QWidget* parent, const QString& name, const QString& text, const QRect& geometry, const QString& page)
{
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(page, text.toHtmlEscaped()), parent);
    link->setObjectName(name);
    link->setGeometry(geometry);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    LabelOnBackgroundSet(link);
    QObject::connect(
        link, &QLabel::linkActivated, link, [](const QString& path) { TfrmBase::OpenWebPage(SitePageAddress(path)); });
    return link;
}
