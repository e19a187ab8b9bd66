#include "ui/config/ConfigControls.h"

#include "ui/framework/FrmBase.h"
#include "ui/framework/FrmWarning.h"

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

QLineEdit* ConfigEditAdd(QWidget* parent, const QString& name, const QRect& geometry, bool masked)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    if (masked) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
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
    QObject::connect(
        link, &QLabel::linkActivated, link, [](const QString& path) { TfrmBase::OpenWebPage(SitePageAddress(path)); });
    return link;
}
