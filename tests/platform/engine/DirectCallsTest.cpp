// The low-level call set the rebuild uses: result codes, handles and the progress callback.
#include "WriterFixtures.h"
#include "platform/engine/DirectCalls.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace engine;

CBPROGRESSDesc progressBuffer;
int calls = 0;
std::uintptr_t seenClientData = 99;

CBRType OnProgress(CBType type, std::uintptr_t clientData, void* info) {
    EXPECT_EQ(type, cbGENPROGRESS);
    EXPECT_EQ(info, &progressBuffer);
    seenClientData = clientData;
    ++calls;
    return cbrUSEDEF;
}

TEST(DirectCalls, OpenATableByPathAndCountItsRecords) {
    test::TempDir dir;
    const std::string path = dir / "Hovory.db";
    test::MakeTable(path, test::AllTypesLayout(1), 37);

    hDBIDb db = nullptr;
    EXPECT_EQ(DbiOpenDatabase(nullptr, nullptr, dbiREADWRITE, dbiOPENSHARED, nullptr, 0, nullptr, nullptr, &db),
              DBIERR_NOTINITIALIZED);
    ASSERT_EQ(DbiInit(nullptr), DBIERR_NONE);
    ASSERT_EQ(DbiOpenDatabase(nullptr, nullptr, dbiREADWRITE, dbiOPENSHARED, nullptr, 0, nullptr, nullptr, &db),
              DBIERR_NONE);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(DbiRegisterCallBack(nullptr, cbGENPROGRESS, 0, sizeof progressBuffer, &progressBuffer, OnProgress),
              DBIERR_NONE);
    EXPECT_EQ(ReportGeneralProgress(40, "Rebuilding"), cbrUSEDEF);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenClientData, 0u);
    EXPECT_EQ(progressBuffer.iPercentDone, 40);
    EXPECT_STREQ(progressBuffer.szMsg, "Rebuilding");
    ReportGeneralProgress(-1, std::string(300, 'x'));  // a long message is cut, never overrun
    EXPECT_EQ(std::string(progressBuffer.szMsg).size(), 127u);

    hDBICur cur = nullptr;
    ASSERT_EQ(DbiOpenTable(db, path.c_str(), "PARADOX", nullptr, nullptr, 0, dbiREADWRITE, dbiOPENSHARED, xltFIELD,
                           false, nullptr, &cur),
              DBIERR_NONE);
    std::uint32_t count = 0;
    EXPECT_EQ(DbiGetRecordCount(cur, &count), DBIERR_NONE);
    EXPECT_EQ(count, 37u);
    EXPECT_EQ(DbiCloseDatabase(&db), DBIERR_INVALIDHNDL);  // a cursor is still open
    EXPECT_EQ(DbiCloseCursor(&cur), DBIERR_NONE);
    EXPECT_EQ(cur, nullptr);
    EXPECT_EQ(DbiOpenTable(db, (dir / "Missing.db").c_str(), "PARADOX", nullptr, nullptr, 0, dbiREADWRITE,
                           dbiOPENSHARED, xltFIELD, false, nullptr, &cur),
              DBIERR_NOSUCHTABLE);
    EXPECT_EQ(DbiCloseDatabase(&db), DBIERR_NONE);
    EXPECT_EQ(DbiExit(), DBIERR_NONE);
    EXPECT_EQ(ReportGeneralProgress(50, "after exit"), cbrUSEDEF);
    EXPECT_EQ(calls, 2);
}

} // namespace
