// gw-make-examples EXAMPLES_DIR ICS_DIR: builds the example boards the way a user would (placing
// devices, drawing wires in wire mode, adding captions) and saves them with the program's own board
// file writer, together with the IC description one of them uses and a few deliberately damaged
// files (bad_*) that must be refused. Run it again whenever the examples should change.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "board/BoardEngine.h"
#include "ic/ICDescription.h"
#include "io/AtomicFile.h"
#include "io/BoardFile.h"
#include "io/ByteStream.h"
#include "model/Catalogue.h"
#include "model/Registry.h"

using namespace gw;

namespace {

int problems = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "gw-make-examples: %s\n", what.c_str());
        ++problems;
    }
}

DevicePtr place(TBoardEngine& b, const std::string& id, int x, int y, int data = 0) {
    DraftPtr d = getDraft(id);
    check(d != nullptr, "unknown type " + id);
    check(d && b.posAbleForDraft(d, x, y, nullptr), id + " cannot stand at " + std::to_string(x) + "," +
                                                        std::to_string(y));
    DevicePtr dev = b.addDevice(d, x, y);
    if (dev) dev->data = data;
    return dev;
}

// Draws one wire through the grid points `pts` in wire mode: a press on each point, holding
// Control at the bends so the drawing goes on from there.
void wire(TBoardEngine& b, const std::vector<std::pair<int, int>>& pts) {
    b.startWireMode();
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const int ctrl = (i > 0 && i + 1 < pts.size()) ? 1 : 0;
        const int px = pts[i].first * 20, py = pts[i].second * 20;
        b.Update(px, py, 1, 1, ctrl);
        b.Update(px, py, 0, 0, ctrl);
    }
    b.startDefaultMode();
}

void caption(TBoardEngine& b, const std::string& text, int x, int y, int size, int r, int g, int bl,
             int shadow) {
    auto c = TCaption::Create();
    c->txt = text;
    c->xPos = x;
    c->yPos = y;
    c->Size = size;
    c->colR = r;
    c->colG = g;
    c->colB = bl;
    c->bShadow = shadow;
    b.captionList.push_back(c);
}

void expectInput(const DevicePtr& d, int pin, const std::string& what) {
    check(d && pin < static_cast<int>(d->inputs.size()) && d->inputs[pin] != nullptr, what + " is not wired");
}

void save(const TBoardEngine& b, const std::string& path) {
    std::string why;
    check(writeToFile(b, path, &why) == 1, why);
}

std::shared_ptr<TBoardEngine> newBoard() {
    return TBoardEngine::Create({}, nullptr,
                                [](const ICDescriptionPtr& d, void*) {
                                    registerICDescription(d);
                                    return 1;
                                },
                                nullptr);
}

// Three toggle switches (a, b, carry in) into a full adder; its carry and sum light two LEDs.
// Saved with a = 1, b = 1, carry in = 0.
std::shared_ptr<TBoardEngine> fullAdder() {
    auto b = newBoard();
    auto a = place(*b, "$swich1", 4, 6, 1);
    auto bb = place(*b, "$swich1", 4, 10, 1);
    auto c = place(*b, "$swich1", 4, 14, 0);
    auto fa = place(*b, "$adder1", 10, 10);
    auto carry = place(*b, "$led255|100|100", 15, 9);
    auto sum = place(*b, "$led100|255|100", 15, 12);
    wire(*b, {{5, 6}, {7, 6}, {7, 9}, {8, 9}});
    wire(*b, {{5, 10}, {8, 10}});
    wire(*b, {{5, 14}, {6, 14}, {6, 11}, {8, 11}});
    wire(*b, {{12, 9}, {14, 9}});
    wire(*b, {{12, 11}, {13, 11}, {13, 12}, {14, 12}});
    expectInput(fa, 0, "full adder input a");
    expectInput(fa, 1, "full adder input b");
    expectInput(fa, 2, "full adder input c");
    expectInput(carry, 2, "carry LED");
    expectInput(sum, 2, "sum LED");
    caption(*b, "Full adder", 6, 2, 2, 0, 0, 0, 1);
    caption(*b, "a", 1, 6, 1, 0, 0, 160, 0);
    caption(*b, "b", 1, 10, 1, 0, 0, 160, 0);
    caption(*b, "carry in", 0, 14, 0, 0, 0, 160, 0);
    caption(*b, "carry", 17, 9, 0, 160, 0, 0, 0);
    caption(*b, "sum", 17, 12, 0, 0, 120, 0, 0);
    return b;
}

// A 500 ms clock counts a 4-bit counter up; its bits drive a binary digit display.
std::shared_ptr<TBoardEngine> counter() {
    auto b = newBoard();
    const int C = 10, D = 10;
    auto clock = place(*b, "$ticker500", C + 5, D - 3);
    auto cnt = place(*b, "$counter4", C, D);
    auto disp = place(*b, "$digital0255|255|255", C + 6, D + 3);
    wire(*b, {{C + 4, D - 3}, {C + 2, D - 3}});
    for (int i = 0; i < 4; ++i) wire(*b, {{C + 2, D + i}, {C + 4, D + i}});
    expectInput(cnt, 0, "counter +");
    for (int i = 0; i < 4; ++i) expectInput(disp, i, "display input " + std::to_string(i));
    caption(*b, "4-bit counter", C - 3, D - 9, 2, 0, 0, 0, 1);
    caption(*b, "500 ms", C + 7, D - 4, 0, 80, 80, 80, 0);
    (void)clock;
    return b;
}

// Exclusive or made of three gates: (a OR b) AND NOT (a AND b).
ICDescriptionPtr xorIC() {
    auto d = TICDescription::Create();
    d->Name = "Xor";
    d->info = "exclusive or of two inputs";
    d->cap = "=1";
    d->id = "$ic424242";
    d->deviceID = {"$logic1|2", "$logic0|2", "$logic0|2"};
    d->invertedInputs = {{0, 0}, {0, 0}, {0, 0}};
    d->invertedOutputs = {{0}, {1}, {0}};
    d->wireBelongs = {
        {{0, 0, 0}, {0, 0, 1}},  // a: OR and first AND
        {{0, 1, 0}, {0, 1, 1}},  // b
        {{1, 0, 0}, {0, 0, 2}},  // a OR b
        {{1, 0, 1}, {0, 1, 2}},  // NOT (a AND b)
        {{1, 0, 2}},             // the result
    };
    d->inputWires = {0, 1};
    d->outputWires = {4};
    d->input_cap = {"a", "b"};
    d->input_xpos = {-2, -2};
    d->input_ypos = {-1, 1};
    d->output_cap = {"q"};
    d->output_xpos = {2};
    d->output_ypos = {0};
    d->width = 4;
    d->Height = 4;
    d->colR = 255;
    d->colG = 230;
    d->colB = 160;
    return d;
}

// Two switches through the Xor IC into an LED. Saved with a = 1, b = 0.
std::shared_ptr<TBoardEngine> icBoard() {
    auto b = newBoard();
    auto a = place(*b, "$swich1", 5, 9, 1);
    auto bb = place(*b, "$swich1", 5, 12, 0);
    auto x = place(*b, "$ic424242", 10, 10);
    auto led = place(*b, "$led255|255|100", 15, 10);
    wire(*b, {{6, 9}, {8, 9}});
    wire(*b, {{6, 12}, {7, 12}, {7, 11}, {8, 11}});
    wire(*b, {{12, 10}, {14, 10}});
    expectInput(x, 0, "Xor input a");
    expectInput(x, 1, "Xor input b");
    expectInput(led, 2, "LED");
    caption(*b, "An IC: Xor from ics/", 4, 4, 1, 0, 0, 0, 0);
    (void)a;
    (void)bb;
    return b;
}

std::string bytesOf(const TBoardEngine& b) {
    std::string s;
    WriteToStream(b, s);
    return s;
}

void writeRaw(const std::string& path, const std::string& bytes) {
    std::string why;
    check(writeFileAtomically(path, bytes, &why), why);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gw-make-examples EXAMPLES_DIR ICS_DIR\n");
        return 2;
    }
    const std::string ex = argv[1], ics = argv[2];
    registerBuiltinDrafts();

    auto xor_ = xorIC();
    check(xor_->circuitProblem().empty(), "the Xor IC cannot be built");
    registerICDescription(xor_);
    std::string why;
    check(xor_->SaveToFile(ics + "/" + xor_->Name + "_" + xor_->id + ".ic", &why) == 1, why);

    auto fa = fullAdder();
    save(*fa, ex + "/fulladder.gwb");
    auto cnt = counter();
    save(*cnt, ex + "/counter.gwb");
    auto ic = icBoard();
    save(*ic, ex + "/xor_ic.gwb");

    // Damaged files. A device type no one knows: the counter board with a counter of 11 bits.
    std::string unknown = bytesOf(*cnt);
    const auto at = unknown.find("$counter4");
    check(at != std::string::npos, "no counter in the counter board");
    unknown.replace(at, 9, "$counter11");
    writeRaw(ex + "/bad_unknown_type.gwb", unknown);
    // A file cut off in the middle of its nets: the full adder board cut inside the segments of its
    // third net (which starts with the segment from (5, 14)).
    const std::string full = bytesOf(*fa);
    std::string third(1, '\1');
    for (int v : {5, 14})
        for (int k = 0; k < 4; ++k) third.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    const auto cut = full.find(third);
    check(cut != std::string::npos, "no segment from (5, 14) in the full adder board");
    writeRaw(ex + "/bad_truncated.gwb", full.substr(0, cut + 7));
    // A switch wired to an inverter, where the net names input 1 of the inverter, which has one
    // input only. Written field by field, as no board the editor holds can produce it.
    std::string pin;
    ByteWriter w(pin);
    w.end();  // no ICs
    for (const char* id : {"$swich1", "$logic2|1"}) {
        w.more();
        w.line(id);
        w.i32(std::string(id) == "$swich1" ? 2 : 6);
        w.i32(4);
        w.i32(0);
        const int ins = std::string(id) == "$swich1" ? 0 : 1, outs = std::string(id) == "$swich1" ? 4 : 1;
        for (int i = 0; i < ins; ++i) w.more(), w.byte(0);
        w.end();
        for (int i = 0; i < outs; ++i) w.more(), w.byte(0);
        w.end();
    }
    w.end();
    w.more();  // one net: a segment (3,4)-(5,4), read by inverter input 1, driven by switch output 0
    w.more();
    for (int c : {3, 4, 5, 4}) w.i32(c);
    w.end();
    w.more(), w.i32(1), w.i32(1);
    w.end();
    w.more(), w.i32(0), w.i32(0);
    w.end();
    w.end();
    for (int c : {240, 240, 240, 200, 200, 200}) w.byte(c);
    w.end();
    writeRaw(ex + "/bad_pin_index.gwb", pin);

    if (problems) return 1;
    std::printf("examples written to %s, IC description to %s\n", ex.c_str(), ics.c_str());
    return 0;
}
