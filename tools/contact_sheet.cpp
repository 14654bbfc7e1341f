// gw-contact-sheet: draws every frame of every picture in data/ and the four font sizes, each with
// a caption, into one PNG, through the raster renderer and the loaded image set, so a person
// can judge the pictures the way the program shows them (tinted as the program tints them).
//   gw-contact-sheet [DATA_DIR [OUT.png]]     defaults: data, contact_sheet.png
#include <QGuiApplication>
#include <QImage>

#include <array>
#include <cstdio>
#include <string>

#include "ui/raster/RasterRenderer.h"
#include "ui/render/Pics.h"

using namespace gw;

namespace {

struct Sheet {
    RasterRenderer& r;
    const Pics& pics;
    int width;
    int x = 16, y = 16, rowH = 0;

    void caption(const std::string& s, double cx, double top) {
        if (!pics.font9) return;
        r.setImageFont(pics.font9.get());
        r.setTransform(0, 1, 1);
        r.setAlpha(1);
        r.setBlend(BlendMode::Alpha);
        r.setColor(70, 76, 88);
        r.drawText(s, static_cast<int>(cx - r.textWidth(s) / 2), top);
    }
    // Reserves a cell of w x h (plus the caption line) in the flowing layout.
    std::pair<int, int> cell(int w, int h) {
        if (x + w > width - 16) newRow();
        const auto at = std::make_pair(x, y);
        x += w + 18;
        rowH = std::max(rowH, h + 16);
        return at;
    }
    void newRow() {
        x = 16;
        y += rowH + 10;
        rowH = 0;
    }
    void heading(const std::string& s) {
        if (x != 16) newRow();
        if (pics.font14) {
            r.setImageFont(pics.font14.get());
            r.setTransform(0, 1, 1);
            r.setColor(30, 34, 42);
            r.setAlpha(1);
            r.drawText(s, 16, y);
        }
        y += 22;
    }
    // Every frame of a strip at `zoom`, drawn in colour (cr, cg, cb), captioned "name k".
    void strip(const std::shared_ptr<Image>& img, const std::string& name, double zoom, int cr = 255, int cg = 255,
               int cb = 255, BlendMode blend = BlendMode::Alpha) {
        if (!img) {
            heading(name + ": MISSING");
            return;
        }
        for (int f = 0; f < img->frameCount(); ++f) {
            const int w = static_cast<int>(img->frameWidth() * zoom), h = static_cast<int>(img->frameHeight() * zoom);
            const auto [cx, cy] = cell(std::max(w, 44), h);
            const int ox = cx + (std::max(w, 44) - w) / 2;
            r.setColor(cr, cg, cb);
            r.setAlpha(1);
            r.setBlend(blend);
            r.setTransform(0, zoom, zoom);
            r.drawImage(img.get(), ox + img->handleX() * zoom, cy + img->handleY() * zoom, f);
            caption(name + " " + std::to_string(f), cx + std::max(w, 44) / 2.0, cy + h + 2);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string dataDir = argc > 1 ? argv[1] : "data";
    const std::string out = argc > 2 ? argv[2] : "contact_sheet.png";
    auto pics = Pics::Load(dataDir);
    auto load = [&](const char* f, int cw, int ch, int n) { return Image::load(dataDir + "/" + f, cw, ch, 0, n); };

    QImage canvas(1180, 1500, QImage::Format_ARGB32_Premultiplied);
    RasterRenderer r;
    if (!r.begin(&canvas)) return 1;
    r.setClearColor(240, 240, 240);
    r.clear();
    Sheet s{r, *pics, canvas.width()};

    s.heading("Wire (x6), mark (x4), connectors (x2, in black as drawn; 4 in white)");
    s.strip(pics->wire, "wire", 6);
    s.strip(pics->mark, "mark", 4);
    s.strip(pics->mark, "mark blue", 4, 0, 0, 180);
    s.strip(pics->connections, "conn", 2, 0, 0, 0);
    if (pics->connections) {
        const auto [cx, cy] = s.cell(44, 40);
        r.setColor(255, 255, 255);
        r.setTransform(0, 2, 2);
        r.drawImage(pics->connections.get(), cx + 22, cy + 20, 4);
        s.caption("ring white", cx + 22, cy + 42);
    }
    s.heading("Switch, LED (red lamp, then light-blended highlight), digit display");
    s.strip(pics->swich, "switch", 1.5);
    s.newRow();
    for (int f = 0; f < 2 && pics->led; ++f) {
        const auto [cx, cy] = s.cell(60, 60);
        r.setTransform(0, 1.5, 1.5);
        r.setColor(255, 100, 100);
        r.setBlend(BlendMode::Alpha);
        r.drawImage(pics->led.get(), cx + 30, cy + 30, f);
        r.setColor(255, 255, 255);
        r.setBlend(BlendMode::Light);
        r.drawImage(pics->led.get(), cx + 30, cy + 30, f + 2);
        r.setBlend(BlendMode::Alpha);
        s.caption(f ? "LED lit" : "LED dark", cx + 30, cy + 62);
    }
    s.strip(pics->led, "led raw", 1.5);
    s.newRow();
    s.strip(pics->digital, "digit", 0.8, 255, 100, 100);
    s.newRow();
    // The digits 0-9 and A-F as the four-bit display shows them.
    static const int masks[16] = {95, 3, 121, 115, 39, 118, 126, 71, 127, 119, 111, 62, 92, 59, 124, 108};
    for (int v = 0; v < 16 && pics->digital; ++v) {
        const auto [cx, cy] = s.cell(50, 80);
        r.setTransform(0, 0.5, 0.5);
        r.setColor(255, 255, 255);
        r.drawImage(pics->digital.get(), cx + 25, cy + 40, 0);
        r.setColor(100, 255, 100);
        for (int n = 6; n >= 0; --n)
            if (masks[v] & (1 << n)) r.drawImage(pics->digital.get(), cx + 25, cy + 40, n + 1);
        s.caption("value " + std::to_string(v), cx + 25, cy + 82);
    }
    s.heading("Device body and screen border (framed), with red and green ghosts");
    const std::pair<const char*, std::array<int, 4>> bodies[] = {
        {"body", {255, 255, 255, 100}}, {"tint 200,200,255", {200, 200, 255, 100}},
        {"ghost green", {0, 255, 0, 50}}, {"ghost red", {255, 0, 0, 50}}};
    for (const auto& [name, c] : bodies) {
        if (!pics->device) break;
        const auto [cx, cy] = s.cell(100, 120);
        r.setTransform(0, 1, 1);
        r.setColor(c[0], c[1], c[2]);
        r.setAlpha(c[3] / 100.0);
        pics->device->Draw(r, cx, cy, 80, 120);
        r.setAlpha(1);
        s.caption(name, cx + 40, cy + 122);
    }
    if (pics->device) {
        const auto [cx, cy] = s.cell(80, 120);
        r.setTransform(0, 0.5, 0.5);
        r.setColor(255, 255, 255);
        pics->device->Draw(r, cx, cy, 80, 120);
        r.setTransform(0, 1.5, 1.5);
        pics->device->Draw(r, cx + 50, cy, 20, 60);
        s.caption("zoom 0.5 / 1.5", cx + 40, cy + 122);
    }
    if (pics->screenborder) {
        const auto [cx, cy] = s.cell(240, 120);
        r.setTransform(0, 1, 1);
        r.setColor(0, 0, 0);
        pics->screenborder->Draw(r, cx, cy, 240, 120);
        s.caption("screen border", cx + 120, cy + 122);
    }
    s.heading("Mode marks (x2, in black as drawn; frame 0 device .. 6 IC)");
    s.strip(pics->mode, "mode", 2, 0, 0, 0);
    s.heading("Toolbar cells (x2) and palette category icons (x1.5)");
    s.strip(load("toolbar.png", 16, 16, 21), "tb", 2);
    s.newRow();
    s.strip(load("kats.png", 24, 24, 11), "kat", 1.5);
    s.heading("Logo, icon, splash");
    s.strip(load("logo.png", 0, 0, 1), "logo.png", 1);
    s.strip(load("startscreen.png", 0, 0, 1), "startscreen.png", 1);
    {
        QImage ico(QString::fromStdString(dataDir + "/icon.ico"));
        const auto [cx, cy] = s.cell(64, 64);
        if (!ico.isNull()) {
            r.end();
            QPainter p(&canvas);
            p.drawImage(cx, cy, ico);
            p.end();
            r.begin(&canvas);
        }
        s.caption(ico.isNull() ? "icon.ico MISSING" : "icon.ico", cx + 32, cy + 66);
    }
    s.heading("Fonts 9, 10, 14, 24");
    const std::pair<int, std::shared_ptr<ImageFont>> fonts[] = {
        {9, pics->font9}, {10, pics->font10}, {14, pics->font14}, {24, pics->font24}};
    for (const auto& [size, f] : fonts) {
        if (!f) continue;
        s.newRow();
        r.setImageFont(f.get());
        r.setTransform(0, 1, 1);
        r.setColor(20, 20, 20);
        const std::string t = std::to_string(size) + " px: Und-Logik (10 Eingänge) Zähler Ü S 250ms 10s  0123456789";
        r.drawText(t, 16, s.y);
        s.y += static_cast<int>(r.textHeight(t)) + 4;
    }
    r.end();
    if (!canvas.save(QString::fromStdString(out))) {
        std::fprintf(stderr, "gw-contact-sheet: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}
