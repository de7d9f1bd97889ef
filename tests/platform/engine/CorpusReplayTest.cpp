// Replays the committed corpus of damaged tiny tables (see CorpusGenerator.cpp): each opens
// with a readable error or is read and checked to the end. Run under the asan preset, this
// is the guard against reads out of bounds.
#include "platform/engine/EngineErrors.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace engine::paradox;

TEST(CorpusReplay, EveryDamagedTableIsReadOrRefusedCleanly) {
    const std::filesystem::path dir = std::filesystem::path(TABLORA_TEST_DATA_DIR) / "corpus";
    int files = 0, opened = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        ++files;
        SCOPED_TRACE(e.path().filename().string());
        try {
            const auto t = TParadoxTable::Open(e.path().string());
            ++opened;
            const auto report = CheckTable(*t);
            std::vector<TFieldValue> values;
            TProblemList problems;
            const auto decoder = t->Decoder();
            t->ForEachRecord(
                [&](const TRecordRef& r) {
                    decoder.Decode(r.Bytes, values, nullptr);
                    for (std::size_t i = 0; i < values.size(); ++i)
                        FormatFieldValue(values[i], t->Header().Fields[i].TypeCode);
                    return true;
                },
                problems);
            for (const auto& p : report.Problems) EXPECT_FALSE(p.Describe().empty());
        } catch (const engine::EDBEngineError& err) {
            EXPECT_FALSE(err.Message().empty());
        }
    }
    EXPECT_GE(files, 40);
    EXPECT_GT(opened, 0);
}

} // namespace
