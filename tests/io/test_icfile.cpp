// The IC description record and IC files: exact bytes, round trips and damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "TempDir.h"
#include "ic/ICDescription.h"
#include "ic/ICKit.h"
#include "io/ByteStream.h"
#include "io/ICFile.h"

using namespace gw;

namespace {

std::string recordOf(const TICDescription& d) {
    std::string out;
    EXPECT_EQ(d.SaveToStream(&out), 1);
    return out;
}

std::string bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s.push_back(static_cast<char>(b));
    return s;
}

}  // namespace

TEST(ICFile, EmptyRecordIsThirtyOneBytes) {
    TICDescription d;
    d.id = "";
    d.colR = 1;
    d.colG = 2;
    d.colB = 3;
    d.width = 0x01020304;
    d.Height = -2;
    const std::string expected = bytes({13, 10, 13, 10, 13, 10, 13, 10,  // four empty lines
                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // twelve lists
                                        4, 3, 2, 1,  // width, little-endian
                                        0xFE, 0xFF, 0xFF, 0xFF,  // height -2
                                        1, 2, 3});
    EXPECT_EQ(recordOf(d), expected);
    EXPECT_EQ(expected.size(), 31u);
}

TEST(ICFile, EmptyInnerListsStayOneElementEach) {
    TICDescription d;
    d.id = "$ic7";
    d.deviceID = {"$swich1"};
    d.invertedInputs = {{}};  // a switch has no inputs
    d.invertedOutputs = {{0, 1, 0, 0}};
    d.wireBelongs = {{}, {{1, 2, 0}}};
    const std::string r = recordOf(d);
    const std::string tail = bytes({1, '$', 's', 'w', 'i', 'c', 'h', '1', 13, 10, 0,  // deviceID
                                    1, 0, 0,                                          // invertedInputs
                                    1, 1, 0, 1, 1, 1, 0, 1, 0, 0, 0,                  // invertedOutputs
                                    1, 0, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0});    // wires
    const std::string head = bytes({13, 10, 13, 10, 13, 10, '$', 'i', 'c', '7', 13, 10});
    ASSERT_GE(r.size(), head.size() + tail.size());
    EXPECT_EQ(r.substr(0, head.size()), head);
    EXPECT_EQ(r.substr(head.size(), tail.size()), tail);

    TICDescription back;
    ByteReader in(r);
    ASSERT_EQ(back.ReadFromStream(&in), 1);
    EXPECT_TRUE(back.sameContent(d));
    EXPECT_EQ(back.invertedInputs.size(), 1u);
}

TEST(ICFile, RandomDescriptionsRoundTripExactly) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 300; ++i) {
        auto d = gwtest::randomDescription(rng);
        const std::string r = recordOf(*d);
        TICDescription back;
        ByteReader in(r);
        std::string why;
        ASSERT_EQ(back.ReadFromStream(&in, &why), 1) << why;
        EXPECT_TRUE(in.atEnd());
        ASSERT_TRUE(back.sameContent(*d)) << "description " << i;
        EXPECT_EQ(recordOf(back), r);
    }
}

TEST(ICFile, ValuesBeyondAByteKeepTheirLowBits) {
    TICDescription d;
    d.deviceID = {"x"};
    d.invertedInputs = {{257}};
    d.invertedOutputs = {{}};
    d.wireBelongs = {{{258, 1, 0}}};
    d.colR = 300;
    TICDescription back;
    const std::string r = recordOf(d);
    ByteReader in(r);
    ASSERT_EQ(back.ReadFromStream(&in), 1);
    EXPECT_EQ(back.invertedInputs[0][0], 1);
    EXPECT_EQ(back.wireBelongs[0][0][0], 2);
    EXPECT_EQ(back.colR, 44);
}

TEST(ICFile, TextLinesDropCarriageReturnsAndCannotBeBrokenByLineFeeds) {
    TICDescription d;
    d.Name = "two\nlines";
    d.info = std::string("nul\0inside", 10);
    d.cap = "c\rr";
    const std::string r = recordOf(d);
    TICDescription back;
    ByteReader in(r);
    ASSERT_EQ(back.ReadFromStream(&in), 1);
    EXPECT_EQ(back.Name, "two lines");
    EXPECT_EQ(back.info, "nul inside");
    EXPECT_EQ(back.cap, "cr");
    EXPECT_EQ(back.id, d.id);
}

TEST(ICFile, AnyNonZeroByteAnnouncesAnElementAndLinesEndAtLineFeedOrZero) {
    std::string r = bytes({'N', 13, 10, 13, 10, 13, 10, 'i', 10});  // a lone LF ends a line too
    r += bytes({7, 'a', 0, 2, 'b', 10, 0});                         // deviceID {"a", "b"}
    r += std::string(11, '\0');                                     // the other lists
    r += std::string(8, '\0') + bytes({9, 8, 7});
    TICDescription back;
    ByteReader in(r);
    std::string why;
    ASSERT_EQ(back.ReadFromStream(&in, &why), 1) << why;
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(back.Name, "N");
    EXPECT_EQ(back.id, "i");
    EXPECT_EQ(back.deviceID, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(back.colB, 7);
}

TEST(ICFile, EveryTruncationFailsWithoutChangingTheDescription) {
    std::mt19937 rng(7);
    auto d = gwtest::randomDescription(rng);
    while (d->wireBelongs.empty() || d->deviceID.empty()) d = gwtest::randomDescription(rng);
    const std::string r = recordOf(*d);
    for (std::size_t len = 0; len < r.size(); ++len) {
        TICDescription target;
        target.Name = "keep";
        target.deviceID = {"old"};
        const std::string part = r.substr(0, len);
        ByteReader in(part);
        std::string why;
        ASSERT_EQ(target.ReadFromStream(&in, &why), 0) << "length " << len;
        EXPECT_NE(why.find("ends inside"), std::string::npos) << why;
        EXPECT_EQ(target.Name, "keep");
        EXPECT_EQ(target.deviceID, std::vector<std::string>{"old"});
    }
}

TEST(ICFile, ReadingAppendsListsAndReplacesScalars) {
    TICDescription a;
    a.deviceID = {"$ram"};
    a.invertedInputs = {{0, 0}};
    a.invertedOutputs = {{0, 0}};
    a.width = 4;
    TICDescription b;
    b.deviceID = {"first"};
    b.width = 9;
    const std::string r = recordOf(a);
    ByteReader in(r);
    ASSERT_EQ(b.ReadFromStream(&in), 1);
    EXPECT_EQ(b.deviceID, (std::vector<std::string>{"first", "$ram"}));
    EXPECT_EQ(b.width, 4);
    EXPECT_EQ(b.id, a.id);
    EXPECT_EQ(b.SaveToStream(nullptr), 0);
    EXPECT_EQ(b.ReadFromStream(nullptr), 0);
}

TEST(ICFile, FilesSaveAndLoadAndFailuresNameTheFile) {
    gw::test::TempDir dir;
    std::mt19937 rng(3);
    auto d = gwtest::randomDescription(rng);
    const std::string path = dir.file("Adder_" + d->id + ".ic");
    std::string why;
    ASSERT_EQ(d->SaveToFile(path, &why), 1) << why;
    EXPECT_EQ(dir.read("Adder_" + d->id + ".ic"), recordOf(*d));
    TICDescription back;
    ASSERT_EQ(back.readFromFile(path, &why), 1) << why;
    EXPECT_TRUE(back.sameContent(*d));

    EXPECT_EQ(d->SaveToFile(dir.file("missing/x.ic"), &why), 0);
    EXPECT_NE(why.find("missing"), std::string::npos) << why;
    EXPECT_EQ(back.readFromFile(dir.file("nothing.ic"), &why), 0);
    EXPECT_NE(why.find("nothing.ic"), std::string::npos) << why;
    dir.write("short.ic", recordOf(*d).substr(0, 9));
    EXPECT_EQ(back.readFromFile(dir.file("short.ic"), &why), 0);
    EXPECT_NE(why.find("short.ic"), std::string::npos) << why;
    EXPECT_NE(why.find("ends inside"), std::string::npos) << why;
}

TEST(ICFile, FolderScanReadsEveryRegularFileAndSkipsTheRest) {
    gw::test::TempDir dir;
    TICDescription a, b;
    a.id = "$ic-a";
    b.id = "$ic-b";
    ASSERT_EQ(a.SaveToFile(dir.file("a.ic")), 1);
    ASSERT_EQ(b.SaveToFile(dir.file("no_extension")), 1);
    dir.write("broken.ic", "xx");
    std::filesystem::create_directory(dir.file("sub"));
    ASSERT_EQ(a.SaveToFile(dir.file("sub/inner.ic")), 1);

    std::vector<std::string> skipped;
    auto found = readICFolder(dir.path(), &skipped);
    std::vector<std::string> ids;
    for (auto& d : found) ids.push_back(d->id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"$ic-a", "$ic-b"}));
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_NE(skipped[0].find("broken.ic"), std::string::npos) << skipped[0];

    skipped.clear();
    EXPECT_TRUE(readICFolder(dir.file("absent"), &skipped).empty());
    EXPECT_EQ(skipped.size(), 1u);
}
