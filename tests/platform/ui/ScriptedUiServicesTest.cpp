#include "platform/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

using namespace ui;

TEST(UiServices, ScriptedServiceRecordsAndAnswersInOrder) {
    ScriptedUiServices scripted;
    ScopedUiServices scope(scripted);
    scripted.Answer(MsgAnswer::No);
    scripted.Answer(MsgAnswer::Yes);

    ShowError("Záloha", "Nepodarilo sa");
    EXPECT_FALSE(AskYesNo("Obnova", "Ignorovať chybu ?", MsgIcon::Warning, MsgAnswer::Yes));
    EXPECT_TRUE(AskYesNo("Obnova", "Znova ?", MsgIcon::Warning, MsgAnswer::Yes));
    Ui().Pause(1000);
    Ui().ProcessMessages();
    { BusyCursor busy; EXPECT_TRUE(scripted.busy); }

    ASSERT_EQ(scripted.messages.size(), 3u);
    EXPECT_EQ(scripted.messages[0].caption, "Záloha");
    EXPECT_EQ(scripted.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(scripted.messages[1].buttons, MsgButtons::YesNo);
    EXPECT_EQ(scripted.messages[1].defaultButton, MsgAnswer::Yes);
    EXPECT_EQ(scripted.pauses, std::vector<int>{1000});
    EXPECT_EQ(scripted.processMessagesCalls, 1);
    EXPECT_EQ(scripted.cursorChanges, 2);
    EXPECT_FALSE(scripted.busy);
}

TEST(UiServices, ScopeRestoresPreviousServiceAndDefaultIsSilent) {
    {
        ScriptedUiServices scripted;
        ScopedUiServices scope(scripted);
        EXPECT_EQ(&Ui(), &scripted);
    }
    // The default answers with the default button and never blocks.
    EXPECT_FALSE(AskYesNo("c", "t", MsgIcon::Warning, MsgAnswer::No));
    EXPECT_TRUE(AskYesNo("c", "t", MsgIcon::Warning, MsgAnswer::Yes));
}

TEST(UiServicesDeathTest, UnscriptedQuestionEndsTheTestLoudly) {
    EXPECT_DEATH(
        {
            ScriptedUiServices scripted;
            ScopedUiServices scope(scripted);
            AskYesNo("Obnova", "Nobody scripted this", MsgIcon::Warning, MsgAnswer::Yes);
        },
        "unscripted question");
}
