// Messages reach the desktop with their icon and buttons; questions read the answer.
#include <gtest/gtest.h>

#include "ui/UiTestSupport.h"

namespace qm {
namespace {

TEST(MessageBoxesTest, QuestionsAskYesNoAndReadTheAnswer) {
    test::App();
    test::RecordedDesktop messages;
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No};
    EXPECT_TRUE(AskYesNo(messages, nullptr, QStringLiteral("Reset?")));
    EXPECT_FALSE(AskYesNo(messages, nullptr, QStringLiteral("Close?")));
    ShowMessage(messages, nullptr, QStringLiteral("Failed."));
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(messages.shown[2].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages.shown[2].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages.shown[2].text, QStringLiteral("Failed."));
}

}  // namespace
}  // namespace qm
