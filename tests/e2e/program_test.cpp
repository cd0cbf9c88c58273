#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::ReadWholeFile;
using test::TempDir;

struct ProgramRun {
    int exitCode;
    std::string output;
    std::string errors;
};

// Runs testbay with a fresh configuration and temporary folder.
ProgramRun RunProgram(const std::string& arguments, const std::string& input, const TempDir& config,
                      const TempDir& tmp) {
    const std::string out = tmp.File("stdout"), err = tmp.File("stderr");
    const std::string command = "printf '" + input + "' | env TESTBAY_CONFIG_DIR=" + config.Path() +
                                " TMPDIR=" + tmp.Path() + " " + TESTBAY_PROGRAM_PATH + " " + arguments + " >" + out +
                                " 2>" + err;
    const int status = std::system(command.c_str());
    ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(out), ReadWholeFile(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

TEST(Program, AutomationWithClosedInputLeavesNoTemporaryDirectory) {
    TempDir config, tmp;
    const ProgramRun run = RunProgram("-Automation", "", config, tmp);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
    EXPECT_NE(ReadWholeFile(config.File("Testbay.ini")).find("INIPATH=" + config.Path()), std::string::npos);
}

TEST(Program, AutomationAnswersEveryRequestLineAndNothingElse) {
    TempDir config, tmp;
    const ProgramRun run =
        RunProgram("/embedding", "{\"jsonrpc\":\"2.0\",\"id\":7,\"method\":\"Nope\"}\\nnot json\\n", config, tmp);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output,
              "{\"error\":{\"code\":-32601,\"message\":\"Unknown name \\\"Nope\\\"\"},\"id\":7,\"jsonrpc\":\"2.0\"}\n"
              "{\"error\":{\"code\":-32700,\"message\":\"Parse error\"},\"id\":null,\"jsonrpc\":\"2.0\"}\n");
}

TEST(Program, VersionHelpAndBadArguments) {
    TempDir config, tmp;
    EXPECT_EQ(RunProgram("--version", "", config, tmp).output, "testbay 04.02.08\n");
    const ProgramRun help = RunProgram("--help", "", config, tmp);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("TESTBAY_CONFIG_DIR"), std::string::npos);
    const ProgramRun bad = RunProgram("-Automaton", "", config, tmp);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(std::count(bad.errors.begin(), bad.errors.end(), '\n'), 1);
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
}

}  // namespace
}  // namespace testbay
