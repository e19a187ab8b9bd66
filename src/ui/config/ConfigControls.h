#pragma once

#include <QString>
#include <Qt>

class QLabel;
class QLineEdit;
class QRect;
class QWidget;

// The small controls the configuration windows build by hand.
// A label on the user's background (it takes the user's text colour).
QLabel* ConfigLabelAdd(QWidget* parent, const QString& name, const QString& text, const QRect& geometry);
// A column head over a list, dark on a light band whatever the window's background.
QLabel* ConfigHeadAdd(QWidget* parent, const QString& name, const QString& text, const QRect& geometry,
    Qt::Alignment alignment = Qt::AlignLeft);
// An edit box; a masked one shows "*" for every character.
QLineEdit* ConfigEditAdd(QWidget* parent, const QString& name, const QRect& geometry, bool masked = false);
// A link that opens a page of the maker's web site ("/login").
QLabel* ConfigLinkAdd(
    QWidget* parent, const QString& name, const QString& text, const QRect& geometry, const QString& page);
