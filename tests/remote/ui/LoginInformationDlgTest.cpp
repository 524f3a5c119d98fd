#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "platform/Prompter.h"
#include "remote/ui/LoginInformationDlg.h"

namespace {

QLineEdit* Edit(QDialog& d, const char* id) { return d.findChild<QLineEdit*>(id); }

TEST(LoginInformationDlg, ControlsCarryTheirIdsAndThePasswordIsMaskedWithoutATip) {
    CLoginInformationDlg dlg("alpha", "bob", "s3cret", true);
    EXPECT_EQ(dlg.windowTitle(), "Login Information");
    ASSERT_NE(Edit(dlg, "1626"), nullptr);
    ASSERT_NE(Edit(dlg, "1693"), nullptr);
    ASSERT_NE(Edit(dlg, "1642"), nullptr);
    EXPECT_EQ(Edit(dlg, "1626")->text(), "alpha");
    EXPECT_EQ(Edit(dlg, "1642")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(Edit(dlg, "1642")->toolTip().isEmpty());
    CLoginInformationDlg fixed("alpha", "bob", "", false);
    EXPECT_FALSE(Edit(fixed, "1626")->isEnabled());
    EXPECT_FALSE(Edit(fixed, "1693")->isEnabled());
}

TEST(LoginInformationDlg, OkRefusesABadHostThenABadUserAndAcceptsAnEmptyPassword) {
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    CLoginInformationDlg dlg("my host", "   ", "", true);
    dlg.open();
    QPushButton* ok = dlg.findChild<QPushButton*>("IDOK");
    ASSERT_NE(ok, nullptr);
    ok->click();
    EXPECT_TRUE(dlg.isVisible());
    Edit(dlg, "1626")->setText("alpha.example.com");
    ok->click();
    EXPECT_TRUE(dlg.isVisible());
    Edit(dlg, "1693")->setText("bob");
    ok->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"Invalid host. Cannot be empty. Cannot have blanks.",
                                        "Invalid username. Cannot be empty. Cannot have blanks."}));
    EXPECT_EQ(dlg.m_strHost, "alpha.example.com");
    EXPECT_EQ(dlg.m_strUser, "bob");
    EXPECT_EQ(dlg.m_strPassword, "");
}

}  // namespace
