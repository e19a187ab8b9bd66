#include "ConfigTestSupport.h"

#include "ui/config/AdminPassword.h"
#include "ui/config/FrmPasswordChange.h"

#include <QLineEdit>

using AdminPassword = ConfigTest;

TEST_F(AdminPassword, SettingsGateAsksOnlyBelowEditionTwoWithoutUserRights)
{
    TOptions& options = OptionsInstance();
    options.SetPassword("Secret");
    options.AdminMode = false;
    options.AllowUserToChangeSettings = false;
    TModalAnswers answers;
    if (ProductEdition == 2) {
        EXPECT_TRUE(AskAdminPassword(nullptr));
        EXPECT_TRUE(SettingsGate(nullptr));
        EXPECT_EQ(0, answers.PasswordWindows);
        return;
    }
    options.AllowUserToChangeSettings = true;
    EXPECT_TRUE(SettingsGate(nullptr));
    EXPECT_EQ(0, answers.PasswordWindows);

    options.AllowUserToChangeSettings = false;
    answers.Add(PasswordAnswer("Secret"));
    EXPECT_TRUE(SettingsGate(nullptr));
    EXPECT_TRUE(options.AdminMode);

    // A wrong password is refused in the window, which stays open, and leaves administrator mode.
    answers.Add(PasswordAnswer("secret"));
    answers.Add(PasswordAnswer("", false));
    EXPECT_FALSE(SettingsGate(nullptr));
    EXPECT_FALSE(options.AdminMode);
    EXPECT_EQ((std::vector<std::string> { "Please Note: Invalid password" }), answers.Messages);
    EXPECT_EQ(2, answers.PasswordWindows);
}

TEST_F(AdminPassword, ChangeChecksTheOldOneAndComparesTheNewOnesIgnoringCase)
{
    TOptions& options = OptionsInstance();
    options.SetPassword("Secret");
    TModalAnswers answers;
    int result = -1;
    auto* window = new TfrmPasswordChange(options);
    QObject::connect(window, &QDialog::finished, [&](int code) { result = code; });

    window->edOldPassword->setText("secret");
    window->btnOkClick();
    window->edOldPassword->setText("Secret");
    window->edNewPassword->setText("New one");
    window->edConfirmPassword->setText("New two");
    window->btnOkClick();
    EXPECT_EQ(-1, result) << "the window stays open after a refusal";
    EXPECT_EQ(PasswordDigest("Secret"), options.Password);

    window->edConfirmPassword->setText("NEW ONE");
    window->btnOkClick();
    EXPECT_EQ(QDialog::Accepted, result);
    EXPECT_EQ((std::vector<std::string> { "Please Note: Invalid old password", "Please Note: Passwords do not match",
                  "Information: Password was successfully changed" }),
        answers.Messages);
    EXPECT_EQ(PasswordDigest("New one"), options.Password) << "the new box's text is the one stored";
    OptionsInstanceFree();
    EXPECT_EQ(PasswordDigest("New one"), OptionsInstance().Password) << "stored at once";
    EXPECT_FALSE(OptionsInstance().CheckPassword("NEW ONE"));
}
