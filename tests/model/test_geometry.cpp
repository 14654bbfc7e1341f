// Pin geometry, identifiers, hit tests and net bookkeeping.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <vector>

#include "model/Catalogue.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/Registry.h"
#include "model/Wire.h"
#include "support/Circuit.h"

using namespace gw;

namespace {
using Pins = std::vector<std::pair<int, int>>;
Pins inputsOf(const TDraft& d) {
    Pins p;
    for (int i = 0; i < d.countInputs(); ++i) p.emplace_back(d.getInputXPos(i), d.getInputYPos(i));
    return p;
}
Pins outputsOf(const TDraft& d) {
    Pins p;
    for (int i = 0; i < d.countOutputs(); ++i) p.emplace_back(d.getOutputXPos(i), d.getOutputYPos(i));
    return p;
}
}  // namespace

TEST(Geometry, OddSizesMoveInputsButNotOutputs) {
    // Three-input AND: height 4 (even), stored y -1, 0, 1 reported as stored.
    EXPECT_EQ(inputsOf(*TLogic::Create(3, 0)), (Pins{{-1, -1}, {-1, 0}, {-1, 1}}));
    // Two-input gate: height 3 (odd), stored -1, 0 reported 0, 1; output stays at (1, 0).
    auto g2 = TLogic::Create(2, 1);
    EXPECT_EQ(inputsOf(*g2), (Pins{{-1, 0}, {-1, 1}}));
    EXPECT_EQ(outputsOf(*g2), (Pins{{1, 0}}));
    auto g10 = TLogic::Create(10, 0);
    EXPECT_EQ(g10->getInputYPos(0), -4);
    EXPECT_EQ(g10->getInputYPos(9), 5);
    // Memory cell: height 3, S and R reported at (-2, 0) and (-2, 1); outputs as stored.
    EXPECT_EQ(inputsOf(*TRam::Create()), (Pins{{-2, 0}, {-2, 1}}));
    EXPECT_EQ(outputsOf(*TRam::Create()), (Pins{{2, 0}, {2, 1}}));
    // Display: width 5 (odd), inputs stored at x = -3 are reported at the left edge x = -2.
    auto disp = TDigital::Create(0, 1, 2, 3);
    EXPECT_EQ(inputsOf(*disp), (Pins{{-2, -3}, {-2, -2}, {-2, -1}, {-2, 0}}));
    EXPECT_EQ(TDigital::Create(1, 1, 2, 3)->countInputs(), 7);
    EXPECT_EQ(inputsOf(*TLogic::Create(1, 2)), (Pins{{-1, 0}}));
    EXPECT_EQ(outputsOf(*TLogic::Create(0, 3)), (Pins{{1, 0}, {0, 1}, {-1, 0}, {0, -1}}));
}

TEST(Geometry, CounterPinsFollowTheBodyRows) {
    auto c4 = TCounter::Create(4);
    EXPECT_EQ(c4->Height, 8);
    EXPECT_EQ(inputsOf(*c4), (Pins{{2, -3}, {2, -2}, {-2, -3}, {-2, -2}, {-2, 0}, {-2, 1}, {-2, 2}, {-2, 3}}));
    EXPECT_EQ(outputsOf(*c4), (Pins{{2, 0}, {2, 1}, {2, 2}, {2, 3}}));
    auto c1 = TCounter::Create(1);
    EXPECT_EQ(c1->Height, 5);
    EXPECT_EQ(inputsOf(*c1), (Pins{{2, -1}, {2, 0}, {-2, -1}, {-2, 0}, {-2, 2}}));
    EXPECT_EQ(outputsOf(*c1), (Pins{{2, 2}}));
    // For every size, each bit's data input and output share a row, one above the bottom edge
    // for the last bit, and captions run a.. and 1..
    for (int n = 1; n <= 10; ++n) {
        auto c = TCounter::Create(n);
        const int top = -((n + 4) / 2), bottom = top + n + 4;
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(c->getInputYPos(4 + i), c->getOutputYPos(i)) << n;
            EXPECT_EQ(c->getInputYPos(4 + i), top + 4 + i) << n;
            EXPECT_EQ(c->getInputCap(4 + i), std::string(1, char('a' + i)));
            EXPECT_EQ(c->getOutputCap(i), std::to_string(i + 1));
        }
        EXPECT_EQ(c->getOutputYPos(n - 1), bottom - 1) << n;
        EXPECT_EQ(c->getInputYPos(0), top + 1) << n;
    }
    EXPECT_EQ(c4->getInputCap(99), "");
}

TEST(Identifiers, EveryBuiltinIsDistinctAndWellFormed) {
    auto entries = makeBuiltinCatalogue();
    ASSERT_EQ(entries.size(), 65u);
    EXPECT_EQ(entries.front().name, "Taster");
    EXPECT_EQ(entries.back().name, "Zähler, 10 Binärstellen");
    std::set<std::string> ids;
    for (const auto& e : entries) EXPECT_TRUE(ids.insert(e.draft->getID()).second) << e.draft->getID();
    for (const char* id : {"$swich0", "$swich1", "$ticker10000", "$ticker25", "$ticker0", "$logic0|2",
                           "$logic0|10", "$logic1|2", "$logic1|10", "$logic2|1", "$logic3|0", "$counter1",
                           "$counter10", "$led255|100|100", "$digital1255|255|255", "$digital0100|100|255",
                           "$adder0", "$adder1", "$ram"})
        EXPECT_TRUE(ids.count(id)) << id;
    EXPECT_EQ(entries[33].name, "Und-Logik ( 2 Eingänge)");
    EXPECT_EQ(entries[55].name, "Zähler,  1 Binärstelle");
    EXPECT_EQ(entries[51].icon, 10);
    EXPECT_EQ(entries[42].icon, 9);
    EXPECT_EQ(TLogic::Create(2, 1)->GetName(), "\u22651");
    EXPECT_EQ(TTicker::Create(0)->GetName(), "R");
    EXPECT_EQ(TTicker::Create(10000)->periodText(), "10s");
    EXPECT_EQ(TTicker::Create(1500)->periodText(), "1s");
    EXPECT_EQ(TTicker::Create(250)->periodText(), "250ms");
    EXPECT_EQ(TTicker::Create(0)->periodText(), "");
    EXPECT_EQ(TTicker::Create(-5)->getID(), "$ticker-5");
}

TEST(Registry, LookupReplaceAndCase) {
    DraftRegistry reg;
    EXPECT_EQ(reg.getDraft(""), nullptr);
    auto a = TRam::Create(), b = TRam::Create();
    reg.registerDraft(a);
    reg.registerDraft(b);
    EXPECT_EQ(reg.getDraft("$ram"), b);
    EXPECT_EQ(reg.getDraft("$RAM"), nullptr);
    EXPECT_EQ(reg.size(), 1u);
    registerBuiltinDrafts();
    EXPECT_NE(getDraft("$counter10"), nullptr);
}

TEST(PointIn, InnerExcludesTheEdge) {
    TDevice d(TSwich::Create(0), 5, 5);  // 2x2
    EXPECT_TRUE(d.pointIn(4, 5, 0));
    EXPECT_FALSE(d.pointIn(4, 5, 1));
    EXPECT_TRUE(d.pointIn(6, 6, 0));
    EXPECT_FALSE(d.pointIn(6, 6, 1));
    EXPECT_TRUE(d.pointIn(5, 5, 1));
    EXPECT_FALSE(d.pointIn(7, 5, 0));
    TDevice disp(TDigital::Create(1, 1, 1, 1), 0, 0);  // 5x8
    for (int x = -4; x <= 5; ++x)
        for (int y = -6; y <= 6; ++y)
            EXPECT_EQ(disp.pointIn(x, y, 0), x >= -2 && x <= 3 && y >= -4 && y <= 4) << x << "," << y;
}

TEST(Net, AddWireContainsLineAndKnots) {
    TWireComplex n;
    ASSERT_TRUE(n.addWire(5, 3, 2, 3));
    EXPECT_FALSE(n.addWire(2, 3, 5, 3));
    EXPECT_EQ(n.lineList.size(), 1u);
    EXPECT_TRUE(n.containsLine(2, 3, 5, 3));
    EXPECT_FALSE(n.containsLine(2, 3, 4, 3));
    EXPECT_TRUE(n.isAt(5, 3));
    EXPECT_FALSE(n.isAt(3, 3));  // inside a segment, not an end
    n.addWire(5, 3, 5, 6);
    n.addWire(5, 3, 8, 3);
    n.updateKnots = 0;
    n.recalcKnots();
    ASSERT_EQ(n.knots().size(), 1u);  // (5,3): three ends; the other ends are no junctions
    EXPECT_EQ(n.knots()[0].xPos, 5);
    EXPECT_EQ(n.knots()[0].yPos, 3);
    EXPECT_EQ(n.knots()[0].Count, 3);
    TWireComplex bend;
    bend.addWire(0, 0, 1, 0);
    bend.addWire(1, 0, 1, 1);
    bend.recalcKnots();
    EXPECT_TRUE(bend.knots().empty());  // a bend is two ends
    n.outputList.push_back(nullptr);
    n.Destroy();
    EXPECT_EQ(n.notValid, 1);
    EXPECT_TRUE(n.outputList.empty());
    TLine s = TLine::createRightCoords(TLine{1, 2, 3, 4}, 20, 10, 0.5, -0.5);
    EXPECT_EQ(s, (TLine{20, 19, 60, 39}));
}

TEST(Net, JunctionsAreThePointsWhereThreeOrMoreEndsMeet) {
    // Random nets on a small grid (many shared ends, repeated and zero-length segments) against a
    // count of every end; then a net of 30,000 segments, whose junctions a comb makes known.
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        TWireComplex n;
        std::map<std::pair<int, int>, int> ends;
        const int count = static_cast<int>(rng() % 40);
        for (int i = 0; i < count; ++i) {
            const TLine l{static_cast<int>(rng() % 5), static_cast<int>(rng() % 5), static_cast<int>(rng() % 5),
                          static_cast<int>(rng() % 5)};
            n.lineList.push_back(l);
            ++ends[{l.sx, l.sy}];
            ++ends[{l.ex, l.ey}];
        }
        n.recalcKnots();
        std::vector<TKnot> want;
        for (const auto& [p, c] : ends)
            if (c >= 3) want.push_back(TKnot{p.first, p.second, c});
        ASSERT_EQ(n.knots().size(), want.size()) << "round " << round;
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(n.knots()[i].xPos, want[i].xPos);
            EXPECT_EQ(n.knots()[i].yPos, want[i].yPos);
            EXPECT_EQ(n.knots()[i].Count, want[i].Count);
        }
    }
    TWireComplex comb;
    for (int x = 0; x < 10000; ++x) {
        comb.lineList.push_back(TLine{x, 0, x + 1, 0});
        comb.lineList.push_back(TLine{x, 0, x, 1});
        comb.lineList.push_back(TLine{x, 1, x, 2});
    }
    comb.recalcKnots();
    ASSERT_EQ(comb.knots().size(), 9999u);  // (x, 0) for x = 1..9999: left, right and the tooth
    EXPECT_EQ(comb.knots()[0].xPos, 1);
    EXPECT_EQ(comb.knots()[0].Count, 3);
    comb.lineList.clear();
    comb.recalcKnots();
    EXPECT_TRUE(comb.knots().empty());

    // Junctions are kept beside the nets: a copy finds its own when drawn, and a net that is gone
    // takes its junctions with it (the next net in its slot starts with none).
    auto star = [](TWireComplex& n) {
        for (int d = -1; d <= 1; d += 2) {
            n.lineList.push_back(TLine{0, 0, d, 0});
            n.lineList.push_back(TLine{0, 0, 0, d});
        }
    };
    const size_t keeping = TWireComplex::netsKeepingKnots();
    WirePtr a = makePooled<TWireComplex>();
    star(*a);
    a->recalcKnots();
    ASSERT_EQ(a->knots().size(), 1u);
    EXPECT_EQ(a->knots()[0].Count, 4);
    TWireComplex copy = *a;
    EXPECT_TRUE(copy.knots().empty());
    EXPECT_EQ(copy.updateKnots, 1);
    copy.recalcKnots();
    EXPECT_EQ(copy.knots().size(), 1u);
    copy = TWireComplex();
    EXPECT_TRUE(copy.knots().empty());
    EXPECT_EQ(a->knots().size(), 1u);
    EXPECT_EQ(TWireComplex::netsKeepingKnots(), keeping + 1);
    a->lineList.erase(a->lineList.begin());
    a->recalcKnots();  // three ends at the centre: still a junction
    EXPECT_EQ(a->knots()[0].Count, 3);
    a.reset();
    EXPECT_EQ(TWireComplex::netsKeepingKnots(), keeping);
    {
        TWireComplex n;
        star(n);
        n.recalcKnots();
        n.lineList.erase(n.lineList.begin());
        n.lineList.erase(n.lineList.begin());
        n.recalcKnots();  // no junction left: nothing kept
        EXPECT_TRUE(n.knots().empty());
        EXPECT_EQ(TWireComplex::netsKeepingKnots(), keeping);
    }
}
