#include "platform/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

using namespace ui;

TEST(UiServices, ScriptedServiceRecordsAndAnswersInOrder) {
    TScriptedUiServices scripted;
    TScopedUiServices scope(scripted);
    scripted.Answer(TMsgAnswer::No);
    scripted.Answer(TMsgAnswer::Yes);

    ShowError("Záloha", "Nepodarilo sa");
    EXPECT_FALSE(AskYesNo("Obnova", "Ignorovať chybu ?", TMsgIcon::Warning, TMsgAnswer::Yes));
    EXPECT_TRUE(AskYesNo("Obnova", "Znova ?", TMsgIcon::Warning, TMsgAnswer::Yes));
    Ui().Pause(1000);
    Ui().ProcessMessages();
    { TBusyCursor busy; EXPECT_TRUE(scripted.busy); }

    ASSERT_EQ(scripted.messages.size(), 3u);
    EXPECT_EQ(scripted.messages[0].caption, "Záloha");
    EXPECT_EQ(scripted.messages[0].icon, TMsgIcon::Error);
    EXPECT_EQ(scripted.messages[1].buttons, TMsgButtons::YesNo);
    EXPECT_EQ(scripted.messages[1].defaultButton, TMsgAnswer::Yes);
    EXPECT_EQ(scripted.pauses, std::vector<int>{1000});
    EXPECT_EQ(scripted.processMessagesCalls, 1);
    EXPECT_EQ(scripted.cursorChanges, 2);
    EXPECT_FALSE(scripted.busy);
}

TEST(UiServices, ScopeRestoresPreviousServiceAndDefaultIsSilent) {
    {
        TScriptedUiServices scripted;
        TScopedUiServices scope(scripted);
        EXPECT_EQ(&Ui(), &scripted);
    }
    // The default answers with the default button and never blocks.
    EXPECT_FALSE(AskYesNo("c", "t", TMsgIcon::Warning, TMsgAnswer::No));
    EXPECT_TRUE(AskYesNo("c", "t", TMsgIcon::Warning, TMsgAnswer::Yes));
}

TEST(UiServicesDeathTest, UnscriptedQuestionEndsTheTestLoudly) {
    EXPECT_DEATH(
        {
            TScriptedUiServices scripted;
            TScopedUiServices scope(scripted);
            AskYesNo("Obnova", "Nobody scripted this", TMsgIcon::Warning, TMsgAnswer::Yes);
        },
        "unscripted question");
}
