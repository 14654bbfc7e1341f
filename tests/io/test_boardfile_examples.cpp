// Every board in bin/examples loads, runs as expected and saves back byte for byte; every file named
// bad_* is refused with its specific reason. A new example without an entry here fails the test.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "model/InputDevices.h"
#include "model/Registry.h"
#include "model/SimEnvironment.h"
#include "test_boardfile_kit.h"

using namespace gw;
using gwtest::TestBoard;

namespace {

std::vector<std::string> exampleFiles() {
    std::vector<std::string> names;
    if (DIR* d = opendir("examples")) {
        while (dirent* e = readdir(d))
            if (std::string n = e->d_name; n.size() > 4 && n.substr(n.size() - 4) == ".gwb") names.push_back(n);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Index of the first device of type `id`.
TDevice& first(TBoardEngine& b, const std::string& id, int nth = 0) {
    for (auto& d : b.deviceList)
        if (d->draft->getID() == id && nth-- == 0) return *d;
    ADD_FAILURE() << "no device " << id;
    return *b.deviceList.at(0);
}

void fullAdder(TBoardEngine& b) {
    b.updateDevices();
    // As saved: a = 1, b = 1, carry in = 0 -> carry 1, sum 0.
    EXPECT_EQ(first(b, "$led255|100|100").data, 1);
    EXPECT_EQ(first(b, "$led100|255|100").data, 0);
    for (int v = 0; v < 8; ++v) {
        for (int i = 0; i < 3; ++i) first(b, "$swich1", i).data = (v >> i) & 1;
        b.updateDevices();
        const int total = (v & 1) + ((v >> 1) & 1) + ((v >> 2) & 1);
        EXPECT_EQ(first(b, "$led255|100|100").data, total >= 2 ? 1 : 0) << "inputs " << v;
        EXPECT_EQ(first(b, "$led100|255|100").data, total % 2) << "inputs " << v;
    }
}

void counter(TBoardEngine& b) {
    // Step k at 100·k ms: the 500 ms clock rises at 600, 1600, 2600, ... ms.
    auto env = std::make_shared<SimulatedEnvironment>(0, 1);
    auto old = setSimEnvironment(env);
    for (int k = 0; k < 100; ++k) {
        env->setMillis(100 * k);
        b.updateDevices();
        const int count = k < 6 ? 0 : (k - 6) / 10 + 1;
        ASSERT_EQ(first(b, "$counter4").data, count) << "step " << k;
        ASSERT_EQ(first(b, "$digital0255|255|255").data, TDigital::maskFor(count)) << "step " << k;
    }
    setSimEnvironment(old);
}

void xorIC(TBoardEngine& b) {
    auto& ic = first(b, "$ic424242");
    EXPECT_NE(dynamic_cast<TLoadedDraft*>(ic.draft.get()), nullptr);
    b.updateDevices();
    EXPECT_EQ(first(b, "$led255|255|100").data, 1);  // saved with a = 1, b = 0
    for (int v = 0; v < 4; ++v) {
        first(b, "$swich1", 0).data = v & 1;
        first(b, "$swich1", 1).data = v >> 1;
        b.updateDevices();
        EXPECT_EQ(first(b, "$led255|255|100").data, (v & 1) ^ (v >> 1)) << "inputs " << v;
    }
}

const std::map<std::string, std::function<void(TBoardEngine&)>> kGood = {
    {"fulladder.gwb", fullAdder},
    {"counter.gwb", counter},
    {"xor_ic.gwb", xorIC},
};

const std::map<std::string, std::string> kBad = {
    {"bad_unknown_type.gwb", "device section, record 1: the device type \"$counter11\" is not known"},
    {"bad_truncated.gwb", "wire section, net 2: the file ends inside the segments"},
    {"bad_pin_index.gwb", "wire section, net 0, sink 0: device 1 (\"$logic2|1\") has no input 1"},
};

}  // namespace

TEST(Examples, EveryExampleRunsAndSavesBackExactly) {
    const auto files = exampleFiles();
    ASSERT_FALSE(files.empty()) << "bin/examples is missing";
    for (const auto& name : files) {
        if (name.rfind("bad_", 0) == 0) continue;
        SCOPED_TRACE(name);
        auto check = kGood.find(name);
        ASSERT_NE(check, kGood.end()) << "no expectations for this example";
        TestBoard b;
        BoardLoadReport rep;
        ASSERT_EQ(readFromFile(*b, "examples/" + name, &rep), 1) << rep.error;
        EXPECT_TRUE(rep.warnings.empty());
        EXPECT_EQ(gwtest::save(*b), readFile("examples/" + name));
        check->second(*b);
    }
}

TEST(Examples, BadExamplesAreRefusedWithTheirReason) {
    int seen = 0;
    for (const auto& name : exampleFiles()) {
        if (name.rfind("bad_", 0) != 0) continue;
        SCOPED_TRACE(name);
        ++seen;
        auto want = kBad.find(name);
        ASSERT_NE(want, kBad.end()) << "no expected message for this file";
        TestBoard b;
        BoardLoadReport rep;
        EXPECT_EQ(readFromFile(*b, "examples/" + name, &rep), 0);
        EXPECT_NE(rep.error.find(want->second), std::string::npos) << rep.error;
        EXPECT_NE(rep.error.find(name), std::string::npos) << rep.error;
        EXPECT_TRUE(b->deviceList.empty());
    }
    EXPECT_EQ(seen, static_cast<int>(kBad.size()));
}

TEST(Examples, TheShippedICFileMatchesTheOneEmbeddedInTheBoard) {
    // The board carries its IC, so it also opens where ics/ lacks it; the shipped file holds the
    // same description.
    gwtest::registerBuiltinsOnce();
    std::vector<std::string> skipped;
    auto found = readICFolder("ics", &skipped);
    EXPECT_TRUE(skipped.empty());
    auto it = std::find_if(found.begin(), found.end(), [](auto& d) { return d->id == "$ic424242"; });
    ASSERT_NE(it, found.end());
    EXPECT_EQ((*it)->circuitProblem(), "");
    std::string rec;
    (*it)->SaveToStream(&rec);
    EXPECT_NE(readFile("examples/xor_ic.gwb").find(rec), std::string::npos);
}
