// gw-picgen: draws every picture of the program's data folder, reproducibly, from code.
//   gw-picgen OUTDIR FONT.ttf
// Pictures that the program tints (wires, marks, device bodies, lamp, digit segments, connectors,
// mode marks, screen border) are drawn white or in light neutral greys, or as pure alpha shapes
// where the program draws them in black, so the tint alone decides their colour.
#include <cstdio>
#include <string>

#include <sys/stat.h>

#include "tools/picgen/Canvas.h"
#include "tools/picgen/Glyphs.h"
#include "ui/render/ImageFont.h"

using namespace picgen;

namespace {

const RGBA kWhite = rgb(255, 255, 255);
const RGBA kBlack = rgb(0, 0, 0);
const RGBA kInk = rgb(56, 62, 74);
const RGBA kBorder = rgb(112, 118, 130);
const RGBA kAccent = rgb(52, 110, 214);
const RGBA kAccentDark = rgb(34, 80, 170);
const RGBA kPaper = rgb(252, 252, 253);

std::string gOut, gFont, gBold;
int gFailures = 0;

void save(const Canvas& c, const char* name) {
    const std::string path = gOut + "/" + name;
    if (!c.writePng(path)) {
        std::fprintf(stderr, "gw-picgen: cannot write %s\n", path.c_str());
        ++gFailures;
    }
}

// Draws UTF-8 text with its top-left at (x, y); answers the width.
int text(Canvas& c, const std::string& font, int size, const std::string& s, int x, int y, RGBA col) {
    auto f = gw::ImageFont::load(font, size);
    if (!f) return 0;
    int pen = x;
    for (uint32_t cp : gw::ImageFont::decodeUtf8(s)) {
        const gw::Glyph& g = f->glyph(cp);
        if (g.w > 0) c.blitAlpha(g.alpha, g.w, g.h, pen + g.left, y + g.top, col);
        pen += g.advance;
    }
    return pen - x;
}
int textWidth(const std::string& font, int size, const std::string& s) {
    auto f = gw::ImageFont::load(font, size);
    return f ? f->textWidth(s) : 0;
}

// ---- board pictures -----------------------------------------------------------------------

void makeWire() {
    // Three 5x5 frames: start cap, body (stretched along the segment), end cap. A 3.5 px band.
    Canvas c(15, 5);
    const float y0 = 0.75f, y1 = 4.25f, r = 1.75f;
    c.fill(unite(circle(2.5f, 2.5f, r), box(2.5f, y0, 5, y1)), kWhite);
    c.fill(box(5, y0, 10, y1), kWhite);
    c.fill(unite(circle(12.5f, 2.5f, r), box(10, y0, 12.5f, y1)), kWhite);
    save(c, "wire.png");
}

void makeMark() {
    Canvas c(9, 9);
    c.fill(circle(4.5f, 4.5f, 3.6f), rgb(205, 205, 205));
    c.fill(circle(4.5f, 4.5f, 2.7f), kWhite);
    save(c, "mark.png");
}

void makeConnections() {
    // Drawn in black by the devices: frames 0-3 are stubs leaving the body through the right,
    // bottom, left and top edge; frame 4, drawn in white, is the inversion ring.
    Canvas c(100, 20);
    const float dirs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (int i = 0; i < 4; ++i) {
        c.clip(i * 20, 0, i * 20 + 20, 20);
        const float cx = i * 20 + 10.f, cy = 10.f;
        const float ex = cx + dirs[i][0] * 8.5f, ey = cy + dirs[i][1] * 8.5f;
        c.fill(capsule(cx - dirs[i][0] * 1.5f, cy - dirs[i][1] * 1.5f, ex, ey, 1.1f), kWhite);
        c.fill(circle(ex, ey, 1.9f), kWhite);
    }
    c.clip(80, 0, 100, 20);
    c.fill(circle(90, 10, 4.6f), kWhite);
    c.fill(outline(circle(90, 10, 4.6f), 1.5f), rgb(50, 54, 62));
    save(c, "connections.png");
}

void makeDevice() {
    // 60 x 60 -> nine 20 x 20 tiles; the middle row and column are stretched, so the gradient
    // only changes inside the top and bottom tile rows.
    Canvas c(60, 60);
    const Shape body = box(1.5f, 1.5f, 58.5f, 57.5f, 6);
    c.fill(translate(body, 0, 1.2f), rgb(0, 0, 0, 0.2f), 2.0f);
    Paint fill = [](float, float y) {
        if (y < 20) return mix(rgb(255, 255, 255), rgb(246, 247, 249), y / 20.f);
        if (y < 40) return rgb(246, 247, 249);
        return mix(rgb(246, 247, 249), rgb(234, 236, 240), (y - 40) / 20.f);
    };
    c.fill(body, fill);
    c.fill(outline(box(2.7f, 2.7f, 57.3f, 56.3f, 5), 1.0f), rgb(255, 255, 255, 0.7f));
    c.fill(outline(body, 1.3f), kBorder);
    save(c, "device.png");
}

void makeScreenBorder() {
    // Drawn in black over the whole view: only alpha matters, a soft inner shade at the edges.
    const int n = 48;
    Canvas c(n, n);
    auto shade = [](float d) {
        if (d >= 12) return 0.f;
        const float t = 1 - d / 12;
        return 0.42f * t * t;
    };
    c.fill([](float, float) { return -1.f; },
           [&](float x, float y) {
               const float ax = shade(std::min(x, n - x) - 0.5f), ay = shade(std::min(y, n - y) - 0.5f);
               return rgb(0, 0, 0, 1 - (1 - ax) * (1 - ay));
           });
    save(c, "screenborder.png");
}

// Short grey leads at the four edge middles, where wires meet the 2 x 2 devices.
void leads(Canvas& c, float ox, RGBA col) {
    c.fill(capsule(ox + 20, 0, ox + 20, 6, 1.2f), col);
    c.fill(capsule(ox + 20, 34, ox + 20, 40, 1.2f), col);
    c.fill(capsule(ox, 20, ox + 6, 20, 1.2f), col);
    c.fill(capsule(ox + 34, 20, ox + 40, 20, 1.2f), col);
}

void makeSwitch() {
    // Frames 0-3 push button, 4-7 toggle switch; in each: released, pressed, released under the
    // mouse, pressed under the mouse. "Pressed"/"on" is shown in the accent blue.
    Canvas c(320, 40);
    for (int f = 0; f < 8; ++f) {
        const bool toggle = f >= 4, on = f & 1, hover = f & 2;
        const float ox = f * 40.f;
        c.clip(f * 40, 0, f * 40 + 40, 40);
        leads(c, ox, rgb(150, 154, 162));
        const Shape plate = box(ox + 4, 4, ox + 36, 36, 7);
        c.fill(translate(plate, 0, 1.2f), rgb(0, 0, 0, 0.2f), 2.0f);
        c.fill(plate, vgrad(4, rgb(255, 255, 255), 36, rgb(234, 236, 240)));
        c.fill(outline(plate, hover ? 1.8f : 1.2f), hover ? rgb(88, 140, 230) : kBorder);
        if (!toggle) {
            if (!on) {
                c.fill(circle(ox + 20, 21.2f, 10.5f), rgb(0, 0, 0, 0.22f), 2.5f);
                c.fill(circle(ox + 20, 20, 10), vgrad(10, rgb(255, 255, 255), 30, rgb(214, 218, 225)));
                c.fill(outline(circle(ox + 20, 20, 10), 1.2f), rgb(120, 126, 138));
            } else {
                c.fill(circle(ox + 20, 20.6f, 9.6f), vgrad(11, rgb(96, 146, 236), 30, rgb(50, 100, 200)));
                c.fill(outline(circle(ox + 20, 20.6f, 9.6f), 1.2f), kAccentDark);
                c.fill(outline(circle(ox + 20, 21.4f, 8.2f), 1.0f), rgb(255, 255, 255, 0.25f));
            }
        } else {
            const Shape track = box(ox + 8, 14.5f, ox + 32, 25.5f, 5.5f);
            c.fill(track, on ? vgrad(14, rgb(80, 134, 230), 26, rgb(48, 98, 200)) : vgrad(14, rgb(190, 195, 203), 26, rgb(214, 218, 225)));
            c.fill(outline(track, 1.0f), on ? kAccentDark : rgb(128, 134, 146));
            const float kx = ox + (on ? 26.5f : 13.5f);
            c.fill(circle(kx, 20.8f, 6.6f), rgb(0, 0, 0, 0.25f), 1.8f);
            c.fill(circle(kx, 20, 6.4f), vgrad(14, rgb(255, 255, 255), 26, rgb(226, 229, 234)));
            c.fill(outline(circle(kx, 20, 6.4f), 1.0f), rgb(110, 116, 128));
        }
    }
    save(c, "switch.png");
}

void makeLed() {
    // Frames 0 and 1 are tinted with the lamp colour: dark and lit lamp in greys and white.
    // Frames 2 and 3 are added in white light: a small reflection, and the glow of the lit lamp.
    Canvas c(160, 40);
    for (int f = 0; f < 2; ++f) {
        const float ox = f * 40.f, cx = ox + 20;
        c.clip(f * 40, 0, f * 40 + 40, 40);
        leads(c, ox, rgb(170, 170, 170));
        c.fill(circle(cx, 21, 14.5f), rgb(0, 0, 0, 0.22f), 2.5f);
        c.fill(circle(cx, 20, 14), vgrad(6, rgb(236, 236, 236), 34, rgb(168, 168, 168)));
        c.fill(outline(circle(cx, 20, 14), 1.1f), rgb(120, 120, 120));
        if (f == 0) {
            c.fill(circle(cx, 20, 10.5f), radial(cx - 2, 18, 12, rgb(150, 150, 150), rgb(92, 92, 92)));
        } else {
            c.fill(circle(cx, 20, 10.5f), radial(cx - 1, 19, 11, rgb(255, 255, 255), rgb(226, 226, 226)));
        }
        c.fill(outline(circle(cx, 20, 10.5f), 1.0f), rgb(70, 70, 70, 0.8f));
    }
    c.clip(80, 0, 120, 40);
    c.fill(circle(95.5f, 15.5f, 3.2f), rgb(255, 255, 255, 0.45f), 2.0f);
    c.clip(120, 0, 160, 40);
    c.fill(circle(140, 20, 19), radial(140, 20, 19, rgb(255, 255, 255, 0.16f), rgb(255, 255, 255, 0)));
    c.fill(circle(139, 19, 7), radial(139, 19, 7, rgb(255, 255, 255, 0.55f), rgb(255, 255, 255, 0)));
    c.fill(circle(135.5f, 15.5f, 2.6f), rgb(255, 255, 255, 0.7f), 1.6f);
    save(c, "led.png");
}

// One segment of the digit, as a slanted hexagon, in frame-local coordinates.
Shape segment(float ox, int bit) {
    const float L = 29, R = 71, T = 27, M = 80, B = 133, t = 10, gap = 1.6f;
    const float slant = 0.07f;
    auto skew = [&](float x, float y) { return std::pair<float, float>{ox + x + slant * (M - y), y}; };
    std::vector<std::pair<float, float>> p;
    auto horiz = [&](float y) {
        const float x0 = L + gap, x1 = R - gap;
        p = {skew(x0, y), skew(x0 + t / 2, y - t / 2), skew(x1 - t / 2, y - t / 2),
             skew(x1, y), skew(x1 - t / 2, y + t / 2), skew(x0 + t / 2, y + t / 2)};
    };
    auto vert = [&](float x, float y0, float y1) {
        y0 += gap;
        y1 -= gap;
        p = {skew(x, y0), skew(x + t / 2, y0 + t / 2), skew(x + t / 2, y1 - t / 2),
             skew(x, y1), skew(x - t / 2, y1 - t / 2), skew(x - t / 2, y0 + t / 2)};
    };
    switch (bit) {
        case 0: vert(R, T, M); break;  // upper right
        case 1: vert(R, M, B); break;  // lower right
        case 2: vert(L, T, M); break;  // upper left
        case 3: vert(L, M, B); break;  // lower left
        case 4: horiz(B); break;       // bottom
        case 5: horiz(M); break;       // middle
        default: horiz(T); break;      // top
    }
    return polygon(p);
}

void makeDigital() {
    // Frame 0: the display with a light bezel and all segments unlit. Frame k + 1: segment of bit k
    // alone, white with a soft glow, tinted with the segment colour when drawn.
    Canvas c(800, 160);
    c.clip(0, 0, 100, 160);
    const Shape bezel = box(3, 3, 97, 156, 9);
    c.fill(translate(bezel, 0, 1.2f), rgb(0, 0, 0, 0.22f), 2.2f);
    c.fill(bezel, vgrad(3, rgb(250, 250, 251), 157, rgb(226, 229, 234)));
    c.fill(outline(bezel, 1.3f), kBorder);
    const Shape screen = box(11, 11, 89, 148, 5);
    c.fill(screen, vgrad(11, rgb(58, 62, 70), 148, rgb(40, 43, 49)));
    c.fill(outline(screen, 1.0f), rgb(30, 32, 36));
    for (int bit = 0; bit < 7; ++bit) c.fill(segment(0, bit), rgb(74, 79, 89));
    for (int bit = 0; bit < 7; ++bit) {
        const float ox = (bit + 1) * 100.f;
        c.clip((bit + 1) * 100, 0, (bit + 2) * 100, 160);
        c.fill(grow(segment(ox, bit), 1.5f), rgb(255, 255, 255, 0.22f), 4.0f);
        c.fill(segment(ox, bit), kWhite);
    }
    save(c, "digital.png");
}

void makeMode() {
    // Drawn in black centred on the mouse: silhouettes in the cell's upper right quarter, so
    // they sit beside the pointer's tip instead of under the arrow.
    Canvas c(140, 20);
    void (*glyphs[7])(const Pen&) = {
        glyphAndGate, glyphWire, glyphMove, glyphCaption, glyphInvert, glyphRemove,
        [](const Pen& p) { glyphChip(p, true); }};
    for (int f = 0; f < 7; ++f) {
        c.clip(f * 20, 0, f * 20 + 20, 20);
        Pen p{c, f * 20 + 8.f, 0.5f, 11.5f, kBlack, kBlack, 0.13f};
        glyphs[f](p);
    }
    save(c, "mode.png");
}

// ---- shell pictures -----------------------------------------------------------------------

void docShape(const Pen& p, RGBA paper) {
    p.poly({{0.2f, 0.06f}, {0.62f, 0.06f}, {0.82f, 0.26f}, {0.82f, 0.94f}, {0.2f, 0.94f}}, p.ink);
    const float i = p.w;
    p.poly({{0.2f + i, 0.06f + i}, {0.6f, 0.06f + i}, {0.82f - i, 0.28f}, {0.82f - i, 0.94f - i}, {0.2f + i, 0.94f - i}},
           paper);
    p.poly({{0.6f, 0.06f}, {0.82f, 0.28f}, {0.6f, 0.28f}}, p.ink);
}

void floppy(const Pen& p) {
    p.rect(0.1f, 0.1f, 0.9f, 0.9f, 0.1f, kAccentDark);
    p.rect(0.28f, 0.1f, 0.72f, 0.38f, 0.02f, rgb(226, 232, 242));
    p.rect(0.56f, 0.14f, 0.66f, 0.32f, 0.0f, kAccentDark);
    p.rect(0.22f, 0.54f, 0.78f, 0.9f, 0.04f, kPaper);
}

void makeToolbar() {
    const int n = 16;
    Canvas c(21 * n, n);
    const RGBA red = rgb(214, 66, 58), green = rgb(46, 160, 88), folder = rgb(236, 186, 72);
    for (int i = 0; i < 21; ++i) {
        c.clip(i * n, 0, i * n + n, n);
        Pen p{c, i * (float)n, 0, (float)n, kInk, kAccent, 0.1f};
        Pen light{c, i * (float)n, 0, (float)n, kInk, rgb(226, 234, 250), 0.1f};
        switch (i) {
            case 0:  // new
                docShape(p, kPaper);
                p.line(0.34f, 0.66f, 0.66f, 0.66f, green, 0.14f);
                p.line(0.5f, 0.5f, 0.5f, 0.82f, green, 0.14f);
                break;
            case 1:  // open
                p.rect(0.06f, 0.18f, 0.5f, 0.4f, 0.06f, rgb(206, 150, 40));
                p.rect(0.06f, 0.28f, 0.94f, 0.86f, 0.08f, rgb(206, 150, 40));
                p.poly({{0.2f, 0.44f}, {0.98f, 0.44f}, {0.84f, 0.86f}, {0.06f, 0.86f}}, folder);
                break;
            case 2:  // save
                floppy(p);
                break;
            case 3:  // save as
                floppy(p);
                p.line(0.5f, 0.96f, 0.94f, 0.5f, rgb(240, 170, 40), 0.16f);
                p.dot(0.5f, 0.95f, 0.06f, kInk);
                break;
            case 4:  // exit
                p.rect(0.08f, 0.08f, 0.56f, 0.92f, 0.06f, kInk);
                p.rect(0.16f, 0.16f, 0.48f, 0.84f, 0.03f, rgb(236, 238, 242));
                p.line(0.38f, 0.5f, 0.86f, 0.5f, red, 0.14f);
                p.poly({{0.98f, 0.5f}, {0.74f, 0.28f}, {0.74f, 0.72f}}, red);
                break;
            case 6: glyphPointer(Pen{c, p.x, 0, (float)n, kInk, kPaper, 0.1f}); break;
            case 7: glyphAndGate(light); break;
            case 8: glyphWire(p); break;
            case 9: glyphMove(p); break;
            case 10: glyphCaption(p); break;
            case 11: glyphInvert(p); break;
            case 12: glyphRemove(Pen{c, p.x, 0, (float)n, kInk, red, 0.1f}); break;
            case 13: glyphChip(Pen{c, p.x, 0, (float)n, kInk, rgb(92, 100, 116), 0.1f}, true); break;
            case 15:  // grid lines
                p.frame(0.08f, 0.08f, 0.92f, 0.92f, 0.06f, kInk, 0.08f);
                for (float u : {0.36f, 0.64f}) {
                    p.line(u, 0.1f, u, 0.9f, kAccent, 0.07f);
                    p.line(0.1f, u, 0.9f, u, kAccent, 0.07f);
                }
                break;
            case 16:  // grid dots
                for (float u : {0.2f, 0.5f, 0.8f})
                    for (float v : {0.2f, 0.5f, 0.8f}) p.dot(u, v, 0.085f, (u == 0.5f && v == 0.5f) ? kAccent : kInk);
                break;
            case 17:  // centre on devices: a chip inside focus brackets
                for (int k = 0; k < 4; ++k) {
                    const float u = (k & 1) ? 0.92f : 0.08f, v = (k & 2) ? 0.92f : 0.08f;
                    const float du = (k & 1) ? -0.26f : 0.26f, dv = (k & 2) ? -0.26f : 0.26f;
                    p.line(u, v, u + du, v, kInk);
                    p.line(u, v, u, v + dv, kInk);
                }
                p.rect(0.32f, 0.32f, 0.68f, 0.68f, 0.06f, kAccent);
                break;
            case 18: case 19: case 20: {  // zoom in, out, default
                p.ring(0.42f, 0.42f, 0.3f, kInk, 0.11f);
                p.dot(0.42f, 0.42f, 0.25f, rgb(226, 234, 250));
                p.line(0.64f, 0.64f, 0.9f, 0.9f, kInk, 0.18f);
                if (i != 20) p.line(0.28f, 0.42f, 0.56f, 0.42f, kAccent, 0.11f);
                if (i == 18) p.line(0.42f, 0.28f, 0.42f, 0.56f, kAccent, 0.11f);
                if (i == 20) {
                    p.line(0.3f, 0.35f, 0.54f, 0.35f, kAccent, 0.09f);
                    p.line(0.3f, 0.5f, 0.54f, 0.5f, kAccent, 0.09f);
                }
                break;
            }
            default: break;  // 5 and 14 are blank separators
        }
    }
    save(c, "toolbar.png");
}

void makeKats() {
    // Palette category icons 0-8 (all, emitters, displays, logic, adders, memory, counters, own
    // ICs, ICs from board files) and 9 OR gate, 10 inverter.
    const int n = 24;
    Canvas c(11 * n, n);
    const RGBA pale = rgb(226, 234, 250);
    for (int i = 0; i < 11; ++i) {
        c.clip(i * n, 0, i * n + n, n);
        const float x = i * (float)n;
        Pen p{c, x, 0, (float)n, kInk, pale, 0.085f};
        switch (i) {
            case 0:
                for (int k = 0; k < 4; ++k) {
                    const float u = (k & 1) ? 0.54f : 0.1f, v = (k & 2) ? 0.54f : 0.1f;
                    p.rect(u, v, u + 0.36f, v + 0.36f, 0.07f, k == 0 ? kAccent : rgb(150, 160, 178));
                }
                break;
            case 1: {  // toggle switch
                p.rect(0.06f, 0.3f, 0.94f, 0.7f, 0.2f, kAccent);
                p.dot(0.7f, 0.5f, 0.16f, kPaper);
                p.ring(0.7f, 0.5f, 0.16f, kAccentDark, 0.05f);
                break;
            }
            case 2:  // lamp
                p.line(0.5f, 0.7f, 0.5f, 0.94f, kInk, 0.1f);
                p.dot(0.5f, 0.42f, 0.42f, rgb(255, 212, 90, 0.35f));
                p.dot(0.5f, 0.42f, 0.28f, rgb(255, 196, 60));
                p.ring(0.5f, 0.42f, 0.28f, rgb(170, 120, 20), 0.06f);
                p.dot(0.42f, 0.34f, 0.07f, rgb(255, 250, 230));
                break;
            case 3: glyphAndGate(p); break;
            case 4:  // adder: a plus in a rounded box
                p.rect(0.1f, 0.1f, 0.9f, 0.9f, 0.14f, pale);
                p.frame(0.1f, 0.1f, 0.9f, 0.9f, 0.14f, kInk, 0.07f);
                p.line(0.3f, 0.5f, 0.7f, 0.5f, kAccent, 0.14f);
                p.line(0.5f, 0.3f, 0.5f, 0.7f, kAccent, 0.14f);
                break;
            case 5:  // memory cell: a latch, two cross-coupled boxes
                p.rect(0.1f, 0.12f, 0.9f, 0.88f, 0.1f, pale);
                p.frame(0.1f, 0.12f, 0.9f, 0.88f, 0.1f, kInk, 0.07f);
                p.rect(0.24f, 0.26f, 0.46f, 0.74f, 0.04f, kAccent);
                p.rect(0.54f, 0.26f, 0.76f, 0.74f, 0.04f, rgb(150, 160, 178));
                break;
            case 6: {  // counter: 0 1 1 as tiny bit cells
                const int bits[3] = {0, 1, 1};
                for (int k = 0; k < 3; ++k) {
                    const float u = 0.06f + k * 0.31f;
                    p.rect(u, 0.22f, u + 0.26f, 0.78f, 0.06f, bits[k] ? kAccent : rgb(200, 206, 216));
                }
                break;
            }
            case 7:  // own ICs: chip with a star badge
            case 8:  // ICs from files: chip with an arrow in
                glyphChip(Pen{c, x, 0, (float)n, kInk, rgb(92, 100, 116), 0.085f}, false);
                if (i == 7) {
                    std::vector<std::pair<float, float>> star;
                    for (int k = 0; k < 10; ++k) {
                        const float a = -1.5708f + k * 0.6283f, r = (k & 1) ? 0.1f : 0.24f;
                        star.push_back({0.5f + r * std::cos(a), 0.52f + r * std::sin(a)});
                    }
                    p.poly(star, rgb(255, 200, 60));
                } else {
                    p.line(0.32f, 0.5f, 0.62f, 0.5f, rgb(110, 220, 140), 0.1f);
                    p.poly({{0.72f, 0.5f}, {0.54f, 0.36f}, {0.54f, 0.64f}}, rgb(110, 220, 140));
                }
                break;
            case 9: glyphOrGate(p); break;
            case 10: glyphInverter(p); break;
            default: break;
        }
    }
    save(c, "kats.png");
}

// The program's mark: an AND gate driving a lit output, on a blue tile.
void logoMark(Canvas& c, float x, float y, float s) {
    const Shape tile = box(x + s * 0.04f, y + s * 0.04f, x + s * 0.96f, y + s * 0.96f, s * 0.2f);
    c.fill(translate(tile, 0, s * 0.015f), rgb(0, 0, 0, 0.25f), std::max(1.f, s * 0.03f));
    c.fill(tile, vgrad(y, rgb(84, 142, 238), y + s, rgb(36, 82, 176)));
    if (s >= 24) c.fill(outline(tile, std::max(1.f, s * 0.012f)), rgb(255, 255, 255, 0.25f));
    Pen p{c, x + s * 0.1f, y + s * 0.1f, s * 0.8f, kWhite, rgb(255, 255, 255, 0.18f), s >= 32 ? 0.075f : 0.11f};
    glyphAndGate(p);
    p.dot(0.96f, 0.5f, 0.07f, rgb(255, 214, 90));
}

void makeLogo() {
    Canvas c(180, 180);
    c.fill(box(0, 0, 180, 180), vgrad(0, rgb(248, 249, 252), 180, rgb(226, 231, 240)));
    logoMark(c, 30, 22, 120);
    const std::string name = "Gatewright";
    const int w = textWidth(gBold, 20, name);
    text(c, gBold, 20, name, (180 - w) / 2, 148, kInk);
    save(c, "logo.png");
}

void makeIcon() {
    std::vector<Canvas> sizes;
    for (int s : {16, 24, 32, 48, 64}) {
        sizes.emplace_back(s, s);
        logoMark(sizes.back(), 0, 0, static_cast<float>(s));
    }
    std::vector<const Canvas*> ptrs;
    for (const auto& c : sizes) ptrs.push_back(&c);
    const std::string path = gOut + "/icon.ico";
    if (!writeIco(path, ptrs)) {
        std::fprintf(stderr, "gw-picgen: cannot write %s\n", path.c_str());
        ++gFailures;
    }
}

void makeStartScreen() {
    const int W = 480, H = 260;
    Canvas c(W, H);
    c.fill(box(0, 0, W, H), vgrad(0, rgb(250, 251, 253), H, rgb(222, 228, 238)));
    // The board's grid, fading towards the text.
    for (int y = 10; y < H; y += 20)
        for (int x = 10; x < W; x += 20) {
            const float a = 0.28f * std::clamp((W - x) / float(W), 0.f, 1.f);
            c.fill(circle(x, y, 1.1f), rgb(120, 130, 150, a));
        }
    // A little circuit: two switches into an AND gate driving a lamp.
    const RGBA wire = rgb(40, 70, 150);
    auto seg = [&](float x0, float y0, float x1, float y1) { c.fill(capsule(x0, y0, x1, y1, 1.6f), wire); };
    seg(60, 150, 110, 150); seg(110, 150, 110, 170); seg(110, 170, 150, 170);
    seg(60, 210, 110, 210); seg(110, 210, 110, 190); seg(110, 190, 150, 190);
    seg(200, 180, 250, 180);
    c.fill(circle(110, 150, 3.2f), wire);
    for (float yy : {150.f, 210.f}) {
        const Shape plate = box(30, yy - 14, 58, yy + 14, 6);
        c.fill(translate(plate, 0, 1), rgb(0, 0, 0, 0.2f), 2);
        c.fill(plate, vgrad(yy - 14, rgb(255, 255, 255), yy + 14, rgb(232, 235, 240)));
        c.fill(outline(plate, 1.2f), kBorder);
        c.fill(box(36, yy - 5, 52, yy + 5, 5), rgb(60, 112, 214));
        c.fill(circle(47, yy, 4.2f), kWhite);
    }
    const Shape body = box(148, 156, 202, 204, 7);
    c.fill(translate(body, 0, 1.2f), rgb(0, 0, 0, 0.2f), 2);
    c.fill(body, vgrad(156, rgb(255, 255, 255), 204, rgb(234, 236, 240)));
    c.fill(outline(body, 1.3f), kBorder);
    text(c, gBold, 20, "&", 168, 166, kInk);
    c.fill(circle(266, 180, 22), radial(266, 180, 22, rgb(255, 220, 110, 0.55f), rgb(255, 220, 110, 0)));
    c.fill(circle(266, 180, 12), radial(263, 177, 12, rgb(255, 250, 220), rgb(255, 190, 50)));
    c.fill(outline(circle(266, 180, 12), 1.2f), rgb(170, 120, 30));

    logoMark(c, 32, 30, 72);
    text(c, gBold, 40, "Gatewright", 120, 36, kInk);
    text(c, gFont, 15, "Digital circuits, built and run live", 123, 86, rgb(92, 100, 116));
    text(c, gFont, 12, "Version 1.0", W - 24 - textWidth(gFont, 12, "Version 1.0"), H - 28, rgb(120, 128, 142));
    save(c, "startscreen.png");
}

bool exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gw-picgen OUTDIR FONT.ttf\n");
        return 2;
    }
    gOut = argv[1];
    gFont = argv[2];
    if (!exists(gFont)) {
        std::fprintf(stderr, "gw-picgen: font %s not found\n", gFont.c_str());
        return 1;
    }
    // The bold cut of the same family, when it sits beside the regular one.
    gBold = gFont;
    const auto slash = gFont.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : gFont.substr(0, slash + 1);
    if (exists(dir + "DejaVuSans-Bold.ttf")) gBold = dir + "DejaVuSans-Bold.ttf";

    makeWire();
    makeMark();
    makeConnections();
    makeDevice();
    makeScreenBorder();
    makeSwitch();
    makeLed();
    makeDigital();
    makeMode();
    makeToolbar();
    makeKats();
    makeLogo();
    makeIcon();
    makeStartScreen();
    return gFailures == 0 ? 0 : 1;
}
