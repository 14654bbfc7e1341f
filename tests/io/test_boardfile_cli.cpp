// gatewright-cli as a user runs it: its JSON, its exit status, its one error line, saving and
// rendering.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "ic/ICDescription.h"
#include "io/BoardFile.h"

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the tool with `args` (already quoted for the shell) from bin/.
Result cli(const std::string& args) {
    static gw::test::TempDir dir;
    const std::string out = dir.file("out"), err = dir.file("err");
    const int rc = std::system((std::string(GW_CLI) + " " + args + " >" + out + " 2>" + err).c_str());
    Result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

int lines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

}  // namespace

TEST(Cli, RunPrintsDevicesAndNetsAfterTheSteps) {
    const Result r = cli("run examples/counter.gwb --steps 30 --clock-start 0 --clock-step 100");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "{\"devices\": [{\"type\": \"$ticker500\", \"x\": 15, \"y\": 7, \"data\": 0}, "
              "{\"type\": \"$counter4\", \"x\": 10, \"y\": 10, \"data\": 3}, "
              "{\"type\": \"$digital0255|255|255\", \"x\": 16, \"y\": 13, \"data\": 115}], "
              "\"nets\": [1, 1, 1, 0, 0]}\n");

    // The clock shows MS + k * STEP in step k: starting at 550 the first step already sees it high.
    const Result late = cli("run examples/counter.gwb --clock-start 550 --clock-step 0");
    EXPECT_NE(late.out.find("\"$counter4\", \"x\": 10, \"y\": 10, \"data\": 1}"), std::string::npos) << late.out;

    const Result none = cli("run examples/fulladder.gwb --steps 0");
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(none.out.find("\"nets\": [0, 0, 0, 0, 0]"), std::string::npos) << none.out;
}

TEST(Cli, SavedBoardKeepsTheDataWordsOfTheRun) {
    gw::test::TempDir dir;
    const std::string saved = dir.file("after.gwb");
    const Result r = cli("run examples/counter.gwb --steps 40 --clock-start 0 --clock-step 100 --save " + saved);
    ASSERT_EQ(r.status, 0) << r.err;
    const Result again = cli("run " + saved + " --steps 0");
    EXPECT_NE(again.out.find("\"$counter4\", \"x\": 10, \"y\": 10, \"data\": 4}"), std::string::npos) << again.out;

    const Result bad = cli("run examples/counter.gwb --save " + dir.file("no/folder.gwb"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(lines(bad.err), 1);
    EXPECT_NE(bad.err.find("folder.gwb"), std::string::npos) << bad.err;
}

TEST(Cli, ErrorsAreOneLineNamingTheFileAndUsageErrorsExitTwo) {
    struct Case {
        const char* args;
        int status;
        const char* mentions;
    };
    const Case cases[] = {
        {"run examples/bad_truncated.gwb", 1, "bad_truncated.gwb"},
        {"run examples/bad_unknown_type.gwb", 1, "$counter11"},
        {"run examples/absent.gwb", 1, "absent.gwb"},
        {"run examples/counter.gwb --ics no-such-folder", 1, "no-such-folder"},
        {"render examples/bad_pin_index.gwb -o /dev/null", 1, "bad_pin_index.gwb"},
        {"", 2, "usage:"},
        {"fly examples/counter.gwb", 2, "usage:"},
        {"run", 2, "no board file"},
        {"run examples/counter.gwb --steps -1", 2, "--steps"},
        {"run examples/counter.gwb --steps 1x", 2, "--steps"},
        {"run examples/counter.gwb --clock-start 5", 2, "--clock-step"},
        {"run examples/counter.gwb --clock-start 9000000000000000000 --clock-step 1", 2, "--clock-start"},
        {"run examples/counter.gwb --seed 4294967296", 2, "--seed"},
        {"run examples/counter.gwb -o x.png", 2, "-o"},
        {"run examples/counter.gwb examples/fulladder.gwb", 2, "one board"},
        {"render examples/counter.gwb", 2, "-o OUT.png"},
        {"render examples/counter.gwb -o x.png --width 0", 2, "--width"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        if (c.status == 1) {
            EXPECT_EQ(lines(r.err), 1) << r.err;
        }
    }
}

TEST(Cli, BrokenICsAndRepairsAreWarningsNotErrors) {
    gw::test::TempDir dir;
    // An IC whose inner device is unknown, and a board with one device of it.
    auto dsc = gw::TICDescription::Create();
    dsc->Name = "Broken";
    dsc->id = "$ic-cli-broken";
    dsc->deviceID = {"$nothing"};
    dsc->invertedInputs = {{}};
    dsc->invertedOutputs = {{}};
    dsc->output_xpos = {1};
    dsc->output_ypos = {0};
    dsc->outputWires = {0};
    dsc->wireBelongs = {{}};
    ASSERT_EQ(dsc->SaveToFile(dir.file("broken.ic")), 1);
    dir.write("junk.ic", "x");
    std::string board;
    board += '\0';
    board += std::string("\1$ic-cli-broken\r\n") + std::string(12, '\0') + std::string(1, '\0') +
             std::string("\1\1\0", 3);  // data 0, no input flags, one output flag: inverted
    board += std::string(2, '\0') + std::string(6, '\xf0') + '\0';
    dir.write("board.gwb", board);

    const Result r = cli("run " + dir.file("board.gwb") + " --ics " + dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"devices\": [{\"type\": \"$ic-cli-broken\", \"x\": 0, \"y\": 0, \"data\": 0}], \"nets\": []}\n");
    EXPECT_NE(r.err.find("\"Broken\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("$nothing"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("junk.ic"), std::string::npos) << r.err;

    // Without the folder the type is unknown: the board carries no description of it.
    const Result missing = cli("run " + dir.file("board.gwb"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("$ic-cli-broken"), std::string::npos) << missing.err;
}

TEST(Cli, RenderWritesAPictureOfTheAskedSize) {
    gw::test::TempDir dir;
    const std::string png = dir.file("fa.png");
    const Result r = cli("render examples/fulladder.gwb -o " + png + " --width 320 --height 200 --steps 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string bytes = slurp(png);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    EXPECT_EQ(be32(16), 320);
    EXPECT_EQ(be32(20), 200);
}
