#pragma once

#include "model/ProgramClock.h"

#include <string>

// The reminder rules that need no window: which part of the day it is, which reminders count as
// written, and when the prompt to renew them is due.

inline constexpr int kPartOfDayMorning = 0;
inline constexpr int kPartOfDayAfternoon = 1;
inline constexpr int kPartOfDayEvening = 2;
// LastPartOfDay before the first update.
inline constexpr int kPartOfDayNone = 255;

// Morning from 04:00 to before 12:00, afternoon from 12:00 to before 18:00, evening otherwise.
// `timeOfDay` is a day fraction (0.5 is noon); the boundaries are taken to the millisecond.
int PartOfDayGet(TDateTime timeOfDay);

// A reminder marks its combo item when it holds more than blanks and control characters.
bool ReminderMarked(const std::string& text);

// The wait between prompts, in days, for a ReminderChangePeriod: 0 never (no prompt), 1 daily,
// 7 weekly, 14 fortnightly, and for monthly the length of the calendar month ahead of `now`
// (31 January plus one month is the last day of February).
double ReminderChangePeriodDays(int period, TDateTime now);

// Whether the prompt is due: a period is set, at least that many whole days (rounded half to
// even) have passed since it was last shown, and the reminders are older than the period.
bool ReminderChangePromptDue(int period, TDateTime now, TDateTime showed, TDateTime changed);

// The whole days since the reminders last changed, rounded half to even, as the prompt says.
int ReminderUnchangedDays(TDateTime now, TDateTime changed);
