// Messages reach the presenter with their icon and buttons; questions read the answer.
#include <gtest/gtest.h>

#include "ui/UiTestSupport.h"

namespace qm {
namespace {

TEST(MessageBoxesTest, QuestionsAskYesNoAndReadTheAnswer) {
    test::App();
    test::RecordedMessages messages;
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No};
    EXPECT_TRUE(AskYesNo(nullptr, QStringLiteral("Reset?")));
    EXPECT_FALSE(AskYesNo(nullptr, QStringLiteral("Close?")));
    ShowMessage(nullptr, QStringLiteral("Failed."));
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(messages.shown[2].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages.shown[2].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages.shown[2].text, QStringLiteral("Failed."));
}

}  // namespace
}  // namespace qm
