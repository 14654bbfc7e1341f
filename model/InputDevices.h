// The built-in kinds that feed signals in or show them: push button / toggle switch (TSwich), clock
// and random generator (TTicker), lamp (TLed) and seven-segment digit display (TDigital).
#pragma once

#include <memory>

#include "model/Draft.h"

namespace gw {

// 2x2, four outputs at the edge middles (right, bottom, left, top), all equal to data.
class TSwich : public TFeatureDraft {
public:
    int checkAble = 0;  // 1 toggle switch, 0 push button

    static std::shared_ptr<TSwich> Create(int checkAble);
    void generate(int checkAble);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 1; }
    std::string GetName() const override { return "Schalter"; }
    std::string getID() const override { return "$swich" + num(checkAble); }
    void onClickFunc(TDevice& device) const override;
    void whileClickFunc(TDevice& device) const override;
    void noClickFunc(TDevice& device) const override;
    bool actsWhenNotClicked() const override { return !checkAble; }
    void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
              const TDevice* device) const override;
    bool drawsEveryDeviceAlike() const override { return false; }
    void DrawGhost(Renderer& r, double px, double py, double sx, double sy, double fx,
                   double fy) const override;
};

// 2x2 clock: low for Time+1 ms and high for Time-1 ms of each 2*Time period, in phase with the
// clock of the simulation environment. Time <= 0 makes a random generator.
class TTicker : public TFeatureDraft {
public:
    int Time = 0;

    static std::shared_ptr<TTicker> Create(int time);
    void generate(int time);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override { return Time <= 0 ? "R" : "T"; }
    std::string getID() const override { return "$ticker" + num(Time); }
    // The period label drawn under the title: "250ms", or whole seconds "10s" from 1000 ms on;
    // "" for the random generator.
    std::string periodText() const;
    void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
              const TDevice* device) const override;
    bool drawsEveryDeviceAlike() const override { return false; }
};

// 2x2 lamp with four inputs; lit when any input is 1.
class TLed : public TFeatureDraft {
public:
    int r = 255, g = 255, b = 255;

    static std::shared_ptr<TLed> Create(int r, int g, int b);
    void generate(int r, int g, int b);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override { return "LED"; }
    std::string getID() const override { return "$led" + num(r) + "|" + num(g) + "|" + num(b); }
    void Draw(Renderer& rr, double px, double py, double sx, double sy, double fx, double fy,
              const TDevice* device) const override;
    bool drawsEveryDeviceAlike() const override { return false; }
    void DrawGhost(Renderer& rr, double px, double py, double sx, double sy, double fx,
                   double fy) const override;
};

// 5x8 digit display: seven segment inputs (analog 1) or a four-bit number (analog 0); data holds
// the lit segment mask (bit 0 upper right, 1 lower right, 2 upper left, 3 lower left, 4 bottom,
// 5 middle, 6 top).
class TDigital : public TFeatureDraft {
public:
    int analog = 0;

    static std::shared_ptr<TDigital> Create(int analog, int r, int g, int b);
    void generate(int analog, int r, int g, int b);
    // The segment mask that shows the hexadecimal digit v (0..15).
    static int maskFor(int v);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override { return ""; }
    std::string getID() const override {
        return "$digital" + num(analog) + num(colR) + "|" + num(colG) + "|" + num(colB);
    }
    void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
              const TDevice* device) const override;
    bool drawsEveryDeviceAlike() const override { return false; }
    void _drawSegments(Renderer& r, const TDevice& device, double x, double y) const;
};

}  // namespace gw
