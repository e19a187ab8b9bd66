#pragma once

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QWidget;
class TImageButton;
class TImagePanel;
class TMonitoredList;

// The controls the main window's pages are built of, each with its skin and its fixed size; the
// pages' layouts place them.
namespace MainPageParts {

inline constexpr int kWindowWidth = 327;
// The pages' margin on either side, and the width left between them.
inline constexpr int kSideMargin = 10;
inline constexpr int kInnerWidth = kWindowWidth - 2 * kSideMargin;

QLabel* LabelMake(QWidget* parent, const QString& name, const QString& text, int width);
TImageButton* ButtonMake(QWidget* parent, const QString& name, const QString& text, int width, int height);
// A combo box with the skinned drop button, named `buttonName`, in place of its own arrow.
QComboBox* ComboMake(QWidget* parent, const QString& name, int width, const QString& buttonName);
QPlainTextEdit* MemoMake(QWidget* parent, const QString& name);
// The head of a list column: a grey panel of `width` with its title centred.
TImagePanel* HeaderPanelMake(
    QWidget* parent, const QString& name, int width, const QString& labelName, const QString& text);
QListWidget* ListBoxMake(QWidget* parent, const QString& name);
QLineEdit* FieldMake(QWidget* parent, const QString& name, int width);

// Fills the list box with the list's entries and rules it down to its bottom.
void ListBoxFillFrom(QListWidget* listBox, TMonitoredList& list);
// Rules the list box down to the bottom of its new height, not more: the filler rows of the old
// height go first, or every resize would add a screenful.
void ListBoxRowsRefit(QListWidget* listBox);

} // namespace MainPageParts
