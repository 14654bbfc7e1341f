// The board file: exact bytes, round trips of random boards, and damaged or hostile files.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "model/Registry.h"
#include "test_boardfile_kit.h"

using namespace gw;
using gwtest::TestBoard;

namespace {

std::string bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s.push_back(static_cast<char>(b));
    return s;
}

// Builds board files by hand, field by field.
struct FileBuilder {
    std::string s;
    ByteWriter w{s};
    FileBuilder& noICs() { return b(0); }
    FileBuilder& device(const std::string& id, int x, int y, int data, std::vector<int> invIn,
                        std::vector<int> invOut) {
        w.more();
        w.line(id);
        w.i32(x);
        w.i32(y);
        w.i32(data);
        for (int f : invIn) w.more(), w.byte(f);
        w.end();
        for (int f : invOut) w.more(), w.byte(f);
        w.end();
        return *this;
    }
    FileBuilder& net(std::vector<std::array<int, 4>> segs, std::vector<std::pair<int, int>> sinks,
                     std::vector<std::pair<int, int>> drivers) {
        w.more();
        for (auto& l : segs) {
            w.more();
            for (int c : l) w.i32(c);
        }
        w.end();
        for (auto& [d, p] : sinks) w.more(), w.i32(d), w.i32(p);
        w.end();
        for (auto& [d, p] : drivers) w.more(), w.i32(d), w.i32(p);
        w.end();
        return *this;
    }
    FileBuilder& b(int v) {
        w.byte(v);
        return *this;
    }
    // End of a section list, the colours and an empty caption list.
    FileBuilder& tail() {
        w.end();
        for (int c : {1, 2, 3, 4, 5, 6}) w.byte(c);
        w.end();
        return *this;
    }
};

const char* kAnd2 = "$logic0|2";
const char* kInv = "$logic2|1";

}  // namespace

TEST(BoardFile, EmptyBoardIsExactlyTenBytes) {
    TestBoard b;
    EXPECT_EQ(gwtest::save(*b), bytes({0, 0, 0, 240, 240, 240, 200, 200, 200, 0}));

    TestBoard c;
    b->setBackgroundColor(1, 2, 300);  // only the low 8 bits are stored
    b->setNetColor(4, 5, 6);
    ASSERT_EQ(gwtest::load(*c, gwtest::save(*b)), 1);
    EXPECT_TRUE(c->deviceList.empty() && c->wireComplexList.empty() && c->captionList.empty());
    int r, g, bl;
    c->getBackgroundColor(r, g, bl);
    EXPECT_EQ((std::array<int, 3>{r, g, bl}), (std::array<int, 3>{1, 2, 44}));
    c->getNetColor(r, g, bl);
    EXPECT_EQ((std::array<int, 3>{r, g, bl}), (std::array<int, 3>{4, 5, 6}));
}

TEST(BoardFile, SmallBoardHasTheDocumentedBytes) {
    TestBoard b;
    auto inv = getDraft(kInv);
    auto d = makePooled<TDevice>(inv, -1, 2);
    d->data = 0x11223344;
    d->invertedOutputs[0] = 1;
    b->deviceList.push_back(d);
    auto n = makePooled<TWireComplex>();
    n->lineList.push_back({1, 2, 3, -1});
    gwtest::drive(*d, 0, *n);
    gwtest::feed(*d, 0, *n);
    b->wireComplexList.push_back(n);
    auto cap = TCaption::Create();
    cap->txt = "Hi";
    cap->Size = 2;
    cap->colR = 9;
    cap->bShadow = 1;
    b->captionList.push_back(cap);

    std::string expected = bytes({0,                                         // no ICs
                                  1, '$', 'l', 'o', 'g', 'i', 'c', '2', '|', '1', 13, 10,
                                  0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0,          // -1, 2
                                  0x44, 0x33, 0x22, 0x11,                      // data
                                  1, 0, 0,                                     // inverted inputs
                                  1, 1, 0,                                     // inverted outputs
                                  0,                                           // end of devices
                                  1,                                           // one net
                                  1, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0,
                                  1, 0, 0, 0, 0, 0, 0, 0, 0, 0,                // sink (0, 0)
                                  1, 0, 0, 0, 0, 0, 0, 0, 0, 0,                // driver (0, 0)
                                  0,                                           // end of nets
                                  240, 240, 240, 200, 200, 200,
                                  1, 'H', 'i', 13, 10, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 1,
                                  0});
    EXPECT_EQ(gwtest::save(*b), expected);
}

TEST(BoardFile, RandomBoardsWithEveryTypeRoundTripExactly) {
    auto ic1 = TLoadedDraft::Create(gwtest::andIC("$ic-rt-1"));
    auto ic2 = TLoadedDraft::Create(gwtest::andIC("$ic-rt-2"));
    std::mt19937 rng(4711);
    for (int i = 0; i < 200; ++i) {
        TestBoard b;
        gwtest::fillRandomBoard(*b, rng, {getDraft("$ic-rt-1"), getDraft("$ic-rt-2")});
        const std::string file = gwtest::save(*b);
        TestBoard c;
        BoardLoadReport rep;
        ASSERT_EQ(gwtest::load(*c, file, &rep), 1) << "board " << i << ": " << rep.error;
        EXPECT_TRUE(rep.warnings.empty());
        ASSERT_EQ(gwtest::describe(*c), gwtest::describe(*b)) << "board " << i;
        ASSERT_EQ(gwtest::save(*c), file) << "board " << i;
        int icDevices = 0;
        for (auto& d : b->deviceList) icDevices += dynamic_cast<TLoadedDraft*>(d->draft.get()) ? 1 : 0;
        EXPECT_EQ(c.announced, icDevices);
    }
}

TEST(BoardFile, OneICRecordPerDeviceAndEachTypeRegisteredOnce) {
    auto dA = gwtest::andIC("$ic-once-a");
    auto dB = gwtest::andIC("$ic-once-b");
    TestBoard b;
    for (const char* id : {"$ic-once-a", "$ic-once-b", "$ic-once-a"})
        b->deviceList.push_back(makePooled<TDevice>(getDraft(id), 0, 0));
    const std::string file = gwtest::save(*b);
    std::string rec;
    dA->SaveToStream(&rec);
    EXPECT_EQ(file.substr(1, rec.size()), rec);

    // The types met in the file are new to this registry only under a fresh id; make the file
    // name ids nobody registered yet and watch them come in once each.
    std::string renamed = file;
    for (std::size_t p; (p = renamed.find("$ic-once-")) != std::string::npos;) renamed[p + 4] = 'O';
    TestBoard c;
    std::vector<std::string> seen;
    c->addICFunc = [&](const ICDescriptionPtr& d, void*) {
        seen.push_back(d->id);
        return registerICDescription(d) ? 1 : 0;
    };
    ASSERT_EQ(gwtest::load(*c, renamed), 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"$ic-Once-a", "$ic-Once-b", "$ic-Once-a"}));
    ASSERT_EQ(c->deviceList.size(), 3u);
    EXPECT_EQ(c->deviceList[0]->draft, c->deviceList[2]->draft);
    EXPECT_EQ(c->deviceList[0]->draft, getDraft("$ic-Once-a"));
}

TEST(BoardFile, AnAlreadyRegisteredIdKeepsItsType) {
    auto registered = gwtest::andIC("$ic-keep");
    auto other = gwtest::andIC("$ic-keep-other");
    other->id = "$ic-keep";
    other->cap = "OTHER";
    FileBuilder f;
    f.w.more();
    std::string rec;
    other->SaveToStream(&rec);
    f.s += rec;
    f.w.end();
    f.device("$ic-keep", 0, 0, 0, {0, 0}, {0});
    f.w.end();
    f.tail();
    TestBoard c;
    ASSERT_EQ(gwtest::load(*c, f.s), 1);
    EXPECT_EQ(c->deviceList[0]->draft->GetName(), "NAND");
}

TEST(BoardFile, PinsReadingOneNetTwiceStayTwoPairs) {
    TestBoard b;
    auto g = makePooled<TDevice>(getDraft(kAnd2), 0, 0);
    auto s = makePooled<TDevice>(getDraft("$swich1"), -4, 0);
    b->deviceList = {s, g};
    auto n = makePooled<TWireComplex>();
    gwtest::drive(*s, 0, *n);
    gwtest::feed(*g, 1, *n);
    gwtest::feed(*g, 0, *n);
    b->wireComplexList.push_back(n);
    std::string file = gwtest::save(*b);
    for (int cycle = 0; cycle < 3; ++cycle) {
        TestBoard c;
        ASSERT_EQ(gwtest::load(*c, file), 1);
        ASSERT_EQ(c->wireComplexList[0]->outputList.size(), 2u);
        EXPECT_EQ(c->deviceList[1]->inputs[0], c->wireComplexList[0].get());
        EXPECT_EQ(c->deviceList[1]->inputs[1], c->wireComplexList[0].get());
        const std::string again = gwtest::save(*c);
        EXPECT_EQ(again, file);
        file = again;
    }
    // The loaded board computes: the switch drives both gate inputs.
    TestBoard c;
    ASSERT_EQ(gwtest::load(*c, file), 1);
    auto out = makePooled<TWireComplex>();
    gwtest::drive(*c->deviceList[1], 0, *out);
    c->deviceList[0]->data = 1;
    c->updateDevices();
    EXPECT_EQ(out->State, 1);
}

TEST(BoardFile, UndrivenNetHasALoneZeroDriverList) {
    TestBoard b;
    auto n = makePooled<TWireComplex>();
    b->wireComplexList.push_back(n);
    EXPECT_EQ(gwtest::save(*b), bytes({0, 0, 1, 0, 0, 0, 0, 240, 240, 240, 200, 200, 200, 0}));
}

TEST(BoardFile, DamagedFilesFailWithTheirPlaceAndReason) {
    struct Case {
        const char* name;
        std::string file;
        const char* mentions;
    };
    auto withNet = [](std::vector<std::pair<int, int>> sinks, std::vector<std::pair<int, int>> drivers) {
        FileBuilder f;
        f.noICs().device(kAnd2, 0, 0, 0, {0, 0}, {0}).device(kInv, 4, 0, 0, {0}, {0});
        f.w.end();
        f.net({}, sinks, drivers);
        return f.tail().s;
    };
    auto twoNets = [](std::vector<std::pair<int, int>> s1, std::vector<std::pair<int, int>> d1,
                      std::vector<std::pair<int, int>> s2, std::vector<std::pair<int, int>> d2) {
        FileBuilder f;
        f.noICs().device(kAnd2, 0, 0, 0, {0, 0}, {0}).device(kInv, 4, 0, 0, {0}, {0});
        f.w.end();
        f.net({}, s1, d1).net({}, s2, d2);
        return f.tail().s;
    };
    FileBuilder unknown;
    unknown.noICs().device("$ic-nobody-knows", 0, 0, 0, {}, {});
    unknown.w.end();
    FileBuilder farDevice;
    farDevice.noICs().device(kInv, 0, 0, 0, {0}, {0}).device(kInv, kMaxBoardCoordinate + 1, 0, 0, {0}, {0});
    FileBuilder farSegment;
    farSegment.noICs();
    farSegment.w.end();
    farSegment.net({{0, 0, 1, 0}, {1, 0, 1, -kMaxBoardCoordinate - 1}}, {}, {});
    FileBuilder farCaption;
    farCaption.noICs().w.end();
    farCaption.w.end();
    for (int c : {1, 2, 3, 4, 5, 6}) farCaption.w.byte(c);
    farCaption.w.more();
    farCaption.w.line("far");
    farCaption.w.i32(0);
    farCaption.w.i32(INT32_MIN);
    farCaption.w.i32(0);
    for (int i = 0; i < 4; ++i) farCaption.w.byte(0);
    farCaption.w.end();
    FileBuilder badIC;
    badIC.b(1).b('x').b(13).b(10);

    const Case cases[] = {
        {"unknown type", unknown.tail().s, "device section, record 0: the device type \"$ic-nobody-knows\""},
        {"sink pin equals input count", withNet({{1, 1}}, {}), "net 0, sink 0: device 1 (\"$logic2|1\") has no input 1"},
        {"negative sink pin", withNet({{0, -1}}, {}), "has no input -1"},
        {"sink device out of range", withNet({{2, 0}}, {}), "device 2 does not exist; the file holds 2"},
        {"negative device", withNet({}, {{-1, 0}}), "driver 0: device -1 does not exist"},
        {"driver pin out of range", withNet({}, {{0, 1}}), "has no output 1"},
        {"sink listed twice", withNet({{0, 1}, {0, 1}}, {}), "sink 1: input 1 of device 0 (\"$logic0|2\") is listed twice"},
        {"two drivers", withNet({}, {{0, 0}, {1, 0}}), "driver 1: the net is already driven by device 0"},
        {"input on two nets", twoNets({{1, 0}}, {}, {{1, 0}}, {}), "net 1, sink 0: input 0 of device 1 (\"$logic2|1\") is already on another net"},
        {"output on two nets", twoNets({}, {{1, 0}}, {}, {{1, 0}}), "net 1, driver 0: output 0 of device 1 (\"$logic2|1\") already drives another net"},
        {"device far out", farDevice.tail().s, "device section, record 1: the position (16777217, 0) lies outside"},
        {"segment far out", farSegment.tail().s, "wire section, net 0, segment 1: the end (1, -16777217) lies outside"},
        {"caption far out", farCaption.s, "caption section, caption 0: the position (0, -2147483648) lies outside"},
        {"IC record cut short", badIC.s, "IC section, record 0: the data ends inside the description text"},
        {"empty file", "", "IC section, record 0: the file ends inside the list of IC descriptions"},
        {"no colours", bytes({0, 0, 0, 1, 2}), "colour block: the file ends inside the six colour bytes"},
        {"caption cut short", bytes({0, 0, 0, 1, 2, 3, 4, 5, 6, 1, 'a', 10, 0, 0}), "caption section, caption 0: the file ends inside the position"},
        {"no caption terminator", bytes({0, 0, 0, 1, 2, 3, 4, 5, 6}), "caption section, caption 0: the file ends inside the list of captions"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestBoard b;
        auto keep = b->addDevice(getDraft(kInv), 10, 10);
        b->captionList.push_back(TCaption::Create());
        const std::string before = gwtest::save(*b);
        BoardLoadReport rep;
        EXPECT_EQ(gwtest::load(*b, c.file, &rep), 0);
        EXPECT_NE(rep.error.find(c.mentions), std::string::npos) << rep.error;
        EXPECT_EQ(gwtest::save(*b), before);
        EXPECT_EQ(keep->notValid, 0);
    }
}

TEST(BoardFile, EveryTruncationFailsAndLeavesTheBoardAlone) {
    gwtest::andIC("$ic-trunc");
    std::mt19937 rng(99);
    TestBoard src;
    while (src->deviceList.size() < 5 || src->wireComplexList.empty() || src->captionList.empty()) {
        src->deviceList.clear();
        src->wireComplexList.clear();
        src->captionList.clear();
        gwtest::fillRandomBoard(*src, rng, {getDraft("$ic-trunc")});
    }
    src->deviceList.push_back(makePooled<TDevice>(getDraft("$ic-trunc"), 0, 0));
    const std::string file = gwtest::save(*src);
    TestBoard b;
    b->setBackgroundColor(7, 7, 7);
    const std::string before = gwtest::save(*b);
    for (std::size_t len = 0; len < file.size(); ++len) {
        BoardLoadReport rep;
        ASSERT_EQ(gwtest::load(*b, file.substr(0, len), &rep), 0) << "length " << len;
        ASSERT_NE(rep.error.find(" ends inside "), std::string::npos) << rep.error;
        ASSERT_EQ(gwtest::save(*b), before);
    }
    ASSERT_EQ(gwtest::load(*b, file), 1);
}

TEST(BoardFile, InversionListsOfTheWrongLengthArePaddedOrCut) {
    FileBuilder f;
    f.noICs().device(kAnd2, 0, 0, 0, {1}, {1, 1, 0}).device(kInv, 4, 0, 0, {1, 0, 1}, {});
    f.w.end();
    f.tail();
    TestBoard b;
    BoardLoadReport rep;
    ASSERT_EQ(gwtest::load(*b, f.s, &rep), 1) << rep.error;
    EXPECT_EQ(b->deviceList[0]->invertedInputs, (std::vector<int>{1, 0}));
    EXPECT_EQ(b->deviceList[0]->invertedOutputs, (std::vector<int>{1}));
    EXPECT_EQ(b->deviceList[1]->invertedInputs, (std::vector<int>{1}));
    EXPECT_EQ(b->deviceList[1]->invertedOutputs, (std::vector<int>{0}));
    ASSERT_EQ(rep.warnings.size(), 4u);
    EXPECT_NE(rep.warnings[0].find("record 0 (\"$logic0|2\"): 1 input inversion flag for 2 input pins; "
                                   "the missing flags were set to 0"),
              std::string::npos)
        << rep.warnings[0];
    EXPECT_NE(rep.warnings[1].find("extra flags were dropped"), std::string::npos) << rep.warnings[1];
}

TEST(BoardFile, LoadedNetsAreWiredBothWaysAndStartAtZero) {
    FileBuilder f;
    f.noICs().device("$swich1", 0, 0, 1, {}, {0, 0, 0, 0}).device(kInv, 4, 0, 0, {0}, {0});
    f.w.end();
    f.net({{1, 0, 3, 0}}, {{1, 0}}, {{0, 0}});
    f.tail();
    TestBoard b;
    ASSERT_EQ(gwtest::load(*b, f.s), 1);
    auto& sw = *b->deviceList[0];
    auto& inv = *b->deviceList[1];
    auto& net = *b->wireComplexList[0];
    EXPECT_EQ(net.State, 0);
    EXPECT_EQ(net.updateKnots, 1);
    EXPECT_EQ(net.Input, &sw);
    EXPECT_EQ(net.outputList, std::vector<TDevice*>{&inv});
    EXPECT_EQ(sw.outputs[0], &net);
    EXPECT_EQ(inv.inputs[0], &net);
    EXPECT_EQ(sw.data, 1);
    b->updateDevices();
    EXPECT_EQ(net.State, 1);
    // Removing a loaded device leaves no stale link behind.
    b->_removeDevice(&inv);
    EXPECT_TRUE(net.outputList.empty());
}

TEST(BoardFile, CaptionTextsKeepTheirBytesButLoseCarriageReturns) {
    TestBoard b;
    for (std::string t : {"Zähler \xfc", "a\rb", "two\nlines", ""}) {
        auto c = TCaption::Create();
        c->txt = t;
        b->captionList.push_back(c);
    }
    TestBoard c;
    ASSERT_EQ(gwtest::load(*c, gwtest::save(*b)), 1);
    ASSERT_EQ(c->captionList.size(), 4u);
    EXPECT_EQ(c->captionList[0]->txt, "Zähler \xfc");
    EXPECT_EQ(c->captionList[1]->txt, "ab");
    EXPECT_EQ(c->captionList[2]->txt, "two lines");
    EXPECT_EQ(c->captionList[3]->txt, "");
}

TEST(BoardFile, FilesSaveThroughATemporaryAndFailuresNameTheFile) {
    gw::test::TempDir dir;
    TestBoard b;
    b->addDevice(getDraft(kInv), 3, 3);
    const std::string path = dir.file("board.gwb");
    std::string why;
    ASSERT_EQ(writeToFile(*b, path, &why), 1) << why;
    EXPECT_EQ(dir.read("board.gwb"), gwtest::save(*b));
    EXPECT_EQ(dir.entries(), 1);

    EXPECT_EQ(writeToFile(*b, dir.file("no/such/folder.gwb"), &why), 0);
    EXPECT_NE(why.find("folder.gwb"), std::string::npos) << why;

    TestBoard c;
    BoardLoadReport rep;
    ASSERT_EQ(readFromFile(*c, path, &rep), 1) << rep.error;
    EXPECT_EQ(gwtest::describe(*c), gwtest::describe(*b));
    EXPECT_EQ(readFromFile(*c, dir.file("absent.gwb"), &rep), 0);
    EXPECT_NE(rep.error.find("absent.gwb"), std::string::npos) << rep.error;
    dir.write("cut.gwb", gwtest::save(*b).substr(0, 5));
    EXPECT_EQ(readFromFile(*c, dir.file("cut.gwb"), &rep), 0);
    EXPECT_NE(rep.error.find("cut.gwb"), std::string::npos) << rep.error;
    EXPECT_NE(rep.error.find("device section, record 0"), std::string::npos) << rep.error;
}
