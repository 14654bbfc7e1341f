// Damaged boards found by the structure-aware fuzzer, kept as regressions: each must be refused
// with a reason, or load into a board the consistency check accepts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/BoardEngine.h"
#include "board/Consistency.h"
#include "io/BoardFile.h"
#include "io/ByteStream.h"
#include "model/Catalogue.h"
#include "model/Registry.h"

namespace gw {
namespace {

// A board file of one device of `id` at (0, 0) and one net driven by the listed output pins.
std::string oneNet(const std::string& id, const std::vector<int>& drivingPins) {
    std::string s;
    ByteWriter w(s);
    w.end();  // no IC records
    w.more();
    w.line(id);
    w.i32(0);
    w.i32(0);
    w.i32(0);
    w.end();  // inversion lists (padded on reading)
    w.end();
    w.end();
    w.more();  // the net: one segment, no readers, the drivers
    w.more();
    for (int v : {10, 10, 11, 10}) w.i32(v);
    w.end();
    w.end();
    for (int p : drivingPins) {
        w.more();
        w.i32(0);
        w.i32(p);
    }
    w.end();
    w.end();
    for (int i = 0; i < 6; ++i) w.byte(0);
    w.end();
    return s;
}

TEST(BoardDamage, NetWithTwoDrivingPinsOfOneDeviceIsRefused) {
    registerBuiltinDrafts();
    // A built-in type with at least two outputs.
    std::string id;
    for (const auto& e : makeBuiltinCatalogue())
        if (e.draft && e.draft->countOutputs() >= 2) {
            id = e.draft->getID();
            break;
        }
    ASSERT_FALSE(id.empty());

    struct Case {
        std::vector<int> pins;
        bool loads;
    } cases[] = {{{0}, true}, {{1}, true}, {{0, 1}, false}, {{1, 0}, false}};
    for (const Case& c : cases) {
        auto b = TBoardEngine::Create();
        const std::string bytes = oneNet(id, c.pins);  // the reader does not own its bytes
        ByteReader in(bytes);
        BoardLoadReport rep;
        const bool ok = ReadFromStream(*b, in, &rep) != 0;
        SCOPED_TRACE(testing::Message() << c.pins.size() << " driving pins");
        EXPECT_EQ(ok, c.loads) << rep.error;
        if (ok) {
            // Placement aside (the segment is not at the pin), the references are sound.
            ASSERT_EQ(b->wireComplexList.size(), 1u);
            int driving = 0;
            for (const TWireComplex* net : b->deviceList[0]->outputs) driving += net != nullptr;
            EXPECT_EQ(driving, 1);
        } else {
            EXPECT_NE(rep.error.find("one driving pin"), std::string::npos) << rep.error;
            EXPECT_TRUE(b->deviceList.empty() && b->wireComplexList.empty());
        }
    }
}

}  // namespace
}  // namespace gw
