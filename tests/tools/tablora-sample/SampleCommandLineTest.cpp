// tablora-sample run as a real process: the options a setup script passes, and the refusals
// that must leave nothing behind.
#include "platform/engine/AliasConfig.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(SampleCommandLine, OptionsInAnyOrderAndAnEmptyAliasRegistersNone) {
    test::TempDir work;
    const std::string config = work / "engine.cfg";
    auto run = test::RunProgram(TABLORA_SAMPLE_TOOL, {"--rows", "3", work / "none", "--alias", "", "--config", config},
                                work / "out");
    ASSERT_EQ(run.Code, 0) << run.Output;
    EXPECT_TRUE(fs::exists(work / "none/Hovory.DB")) << run.Output;
    EXPECT_FALSE(fs::exists(config)) << run.Output;

    run = test::RunProgram(TABLORA_SAMPLE_TOOL, {"--alias", "Demo", "--config", config, "--seed", "7", work / "demo", "--rows", "3"},
                           work / "out");
    ASSERT_EQ(run.Code, 0) << run.Output;
    EXPECT_EQ(engine::TAliasConfig::Load(config).Params("Demo").Value("PATH"), work / "demo");
}

TEST(SampleCommandLine, AWrongLineIsRefusedWithItsReasonAndWritesNothing) {
    test::TempDir work;
    const std::string dir = work / "db";
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad{
        {{dir, "--rows", "2000001"}, "--rows needs a number from 0 to 2000000"},
        {{dir, "--rows", "-3"}, "--rows needs a number"},
        {{dir, "--seed", "x"}, "--seed needs a non-negative number"},
        {{dir, "--rows"}, "--rows needs a value"},
        {{dir, "--config", ""}, "--config needs a file name"},
        {{dir, "--bogus"}, "unknown option \"--bogus\""},
        {{dir, work / "other"}, "only one directory may be given"},
        {{"--rows", "3"}, "Usage: tablora-sample DIR"},
    };
    for (const auto& [args, said] : bad) {
        const auto run = test::RunProgram(TABLORA_SAMPLE_TOOL, args, work / "out",
                                          {"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg"});
        EXPECT_EQ(run.Code, 2) << said << "\n" << run.Output;
        EXPECT_NE(run.Output.find(said), std::string::npos) << run.Output;
    }
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_FALSE(fs::exists(work / "engine.cfg"));
}

// The user's engine configuration names their real database: the demo maker leaves it byte
// for byte as it was unless told to add an alias, and never points an existing one elsewhere.
TEST(SampleCommandLine, AnExistingConfigurationIsNeverChangedUnasked) {
    test::TempDir work;
    const std::string config = work / "engine.cfg";
    std::ofstream(config) << "; the billing database\n[Orvan]\nPATH=/srv/orvan/data\nDEFAULT DRIVER=PARADOX\n";
    const std::string original = test::FileBytes(config);

    auto run = test::RunProgram(TABLORA_SAMPLE_TOOL, {work / "demo", "--rows", "3"}, work / "out",
                                {"TABLORA_ENGINE_CONFIG=" + config});
    ASSERT_EQ(run.Code, 0) << run.Output;
    EXPECT_TRUE(fs::exists(work / "demo/Hovory.DB"));
    EXPECT_TRUE(test::FileBytes(config) == original);

    for (const char* alias : {"Orvan", "orvan"}) {
        run = test::RunProgram(TABLORA_SAMPLE_TOOL, {work / "other", "--rows", "3", "--alias", alias, "--config", config},
                               work / "out");
        EXPECT_EQ(run.Code, 2) << run.Output;
        EXPECT_NE(run.Output.find("The alias \"" + std::string(alias) + "\" in " + config + " points at \"/srv/orvan/data\""),
                  std::string::npos)
            << run.Output;
        EXPECT_FALSE(fs::exists(work / "other"));
        EXPECT_TRUE(test::FileBytes(config) == original);
    }
    run = test::RunProgram(TABLORA_SAMPLE_TOOL, {"/srv/elsewhere", "--register-only", "--alias", "Orvan", "--config", config},
                           work / "out");
    EXPECT_EQ(run.Code, 2) << run.Output;
    EXPECT_TRUE(test::FileBytes(config) == original);

    // A new alias is added beside it; registering it again changes nothing.
    run = test::RunProgram(TABLORA_SAMPLE_TOOL, {work / "demo", "--register-only", "--alias", "Demo", "--config", config},
                           work / "out");
    ASSERT_EQ(run.Code, 0) << run.Output;
    EXPECT_EQ(engine::TAliasConfig::Load(config).Params("Orvan").Value("PATH"), "/srv/orvan/data");
    EXPECT_EQ(engine::TAliasConfig::Load(config).Params("Demo").Value("PATH"), work / "demo");
    const std::string withDemo = test::FileBytes(config);
    run = test::RunProgram(TABLORA_SAMPLE_TOOL, {work / "demo", "--register-only", "--alias", "demo", "--config", config},
                           work / "out");
    EXPECT_EQ(run.Code, 0) << run.Output;
    EXPECT_TRUE(test::FileBytes(config) == withDemo);
}

} // namespace
