#pragma once

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Answers the modal windows a test's action opens, in order. A message window nobody scripted
// is recorded and closed with "OK", so a test never hangs on one.
class TModalAnswers
{
public:
    TModalAnswers();
    ~TModalAnswers();
    // The next modal window gets `answer`.
    void Add(std::function<void(QWidget*)> answer);
    // "title: text" of every message window shown.
    std::vector<std::string> Messages;
    int DeleteConfirms = 0;
    int PasswordWindows = 0;

private:
    void Poll();
    QTimer m_timer;
    std::deque<std::function<void(QWidget*)>> m_answers;
    std::vector<QPointer<QWidget>> m_seen;
    QPointer<QWidget> m_lastActive;
};

// A fresh data folder and settings store per test; the program's own executable is
// /opt/tallyhour/tallyhour.
class ConfigTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // Adds an entry to the store's list.
    void StoredItemAdd(
        const std::string& name, const std::string& caption, TMonitoredItemType kind, bool active = true);

    TTempFolder m_temp;
};

// Answers for the modal windows: close a password window after typing `password`.
std::function<void(QWidget*)> PasswordAnswer(const std::string& password, bool ok = true);
std::function<void(QWidget*)> ConfirmAnswer(bool ok);
