#pragma once

#include <QWidget>

class QLabel;
class TImageButton;
struct TTimeLineTexts;

// The band between the window's header and its pages: the time line (the day's time on the
// list, the time left or the clock) with the link that changes its format, and the Focus button;
// during a focus period the focus line and its link stand in their place and the button goes.
class TTimeLines : public QWidget
{
    Q_OBJECT

public:
    explicit TTimeLines(QWidget* parent = nullptr);

    void TimeLineSet(const TTimeLineTexts& texts);
    // The focus line's title and link; its value comes with FocusValueSet.
    void FocusLineSet(const TTimeLineTexts& texts);
    void FocusValueSet(const QString& value);
    void FocusShow(bool shown);
    bool FocusShown() const;

signals:
    void TimeLinkClicked();
    void FocusLinkClicked();
    void FocusClicked();

private:
    QWidget* pnlMain_TimeOnline = nullptr;
    QLabel* lblMain_TimeTitle = nullptr;
    QLabel* lblMain_Time = nullptr;
    QLabel* lblMain_TimeLink = nullptr;
    QWidget* pnlMain_FocusTime = nullptr;
    QLabel* lblMain_FocusTimeTitle = nullptr;
    QLabel* lblMain_FocusTime = nullptr;
    QLabel* lblMain_FocusModeTimeLink = nullptr;
    TImageButton* btnFocus = nullptr;
};
