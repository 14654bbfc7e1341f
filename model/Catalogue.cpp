#include "model/Catalogue.h"

#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/Registry.h"

namespace gw {

const std::vector<CategoryInfo>& catalogueCategories() {
    static const std::vector<CategoryInfo> cats = {
        {"{{kat_emitter}}", "{{kat_emitter_dsc}}", 1}, {"{{kat_fb}}", "{{kat_fb_dsc}}", 2},
        {"{{kat_logic}}", "{{kat_logic_dsc}}", 3},     {"{{kat_adder}}", "{{kat_adder_dsc}}", 4},
        {"{{kat_ram}}", "{{kat_ram_dsc}}", 5},         {"{{kat_counter}}", "{{kat_counter_dsc}}", 6},
        {"{{kat_udic}}", "{{kat_udic_dsc}}", 7},       {"{{kat_exic}}", "{{kat_exic_dsc}}", 8},
    };
    return cats;
}

std::vector<CatalogueEntry> makeBuiltinCatalogue() {
    std::vector<CatalogueEntry> e;
    auto add = [&](std::string name, Category c, DraftPtr d, int icon = -2) {
        e.push_back(CatalogueEntry{std::move(name), c, std::move(d), icon});
    };
    add("Taster", katEmitter, TSwich::Create(0));
    add("Kippschalter", katEmitter, TSwich::Create(1));
    add("Daueremitter", katEmitter, TLogic::Create(0, 3));
    const struct { const char* label; int ms; } clocks[] = {
        {"10 sec", 10000}, {"8 sec", 8000}, {"5 sec", 5000},  {"4 sec", 4000},  {"2 sec", 2000},
        {"1 sec", 1000},   {"500 ms", 500}, {"250 ms", 250}, {"100 ms", 100}, {"50 ms", 50}, {"25 ms", 25}};
    for (const auto& c : clocks) add(std::string("Zeitgeber (") + c.label + ")", katEmitter, TTicker::Create(c.ms));
    add("Zufallsgenerator", katEmitter, TTicker::Create(0));
    const struct { const char* name; int r, g, b; } leds[] = {
        {"Rote LED", 255, 100, 100},   {"Gelbe LED", 255, 255, 100}, {"Grüne LED", 100, 255, 100},
        {"Blaue LED", 100, 100, 255},  {"Weiße LED", 255, 255, 255}, {"Rosa LED", 255, 100, 255},
        {"Türkise LED", 100, 240, 255}, {"Orange LED", 255, 180, 100}};
    for (const auto& l : leds) add(l.name, katFeedback, TLed::Create(l.r, l.g, l.b));
    const struct { const char* name; int r, g, b; } colours[] = {
        {"weiß", 255, 255, 255}, {"rot", 255, 100, 100}, {"gelb", 255, 255, 100},
        {"grün", 100, 255, 100}, {"blau", 100, 100, 255}};
    for (int analog = 1; analog >= 0; --analog)
        for (const auto& c : colours)
            add(std::string("Ziffernanzeige (") + (analog ? "analog" : "binär") + "), " + c.name, katFeedback,
                TDigital::Create(analog, c.r, c.g, c.b));
    auto padded = [](int n) { return (n < 10 ? " " : "") + num(n); };
    for (int n = 2; n <= 10; ++n) add("Und-Logik (" + padded(n) + " Eingänge)", katLogic, TLogic::Create(n, 0));
    for (int n = 2; n <= 10; ++n) add("Oder-Logik (" + padded(n) + " Eingänge)", katLogic, TLogic::Create(n, 1), 9);
    add("Inverter", katLogic, TLogic::Create(1, 2), 10);
    add("Halbaddierer", katAdder, TAdder::Create(0));
    add("Volladdierer", katAdder, TAdder::Create(1));
    add("Speicher", katRam, TRam::Create());
    for (int n = 1; n <= 10; ++n)
        add("Zähler, " + padded(n) + (n == 1 ? " Binärstelle" : " Binärstellen"), katCounter, TCounter::Create(n));
    return e;
}

std::vector<CatalogueEntry> registerBuiltinDrafts() {
    auto entries = makeBuiltinCatalogue();
    for (const auto& e : entries) registerDraft(e.draft);
    return entries;
}

}  // namespace gw
