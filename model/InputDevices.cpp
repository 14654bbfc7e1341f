#include "model/InputDevices.h"

#include "model/Device.h"
#include "model/SimEnvironment.h"

namespace gw {

namespace {
// The four pins of the 2x2 kinds: right, bottom, left, top.
const std::vector<int> kEdgeX = {1, 0, -1, 0};
const std::vector<int> kEdgeY = {0, 1, 0, -1};

// The white 2x2 body with its four edge pins as outputs (switches and clocks).
void makeFourOutputBody(TDraft& d) {
    d.width = 2;
    d.Height = 2;
    d.input_xpos.clear();
    d.input_ypos.clear();
    d.input_cap.clear();
    d.output_xpos = kEdgeX;
    d.output_ypos = kEdgeY;
    d.output_cap.clear();
    d.colR = d.colG = d.colB = 255;
}
}  // namespace

// --- TSwich ---

std::shared_ptr<TSwich> TSwich::Create(int checkAble) {
    auto d = std::make_shared<TSwich>();
    d->generate(checkAble);
    return d;
}

void TSwich::generate(int c) {
    checkAble = c;
    makeFourOutputBody(*this);
}

int TSwich::Update(const int*, int* outputs, TDevice& device) {
    for (int i = 0; i < 4; ++i) outputs[i] = device.data;
    return 4;
}

void TSwich::onClickFunc(TDevice& device) const {
    if (checkAble) device.data = device.data == 0 ? 1 : 0;
}

void TSwich::whileClickFunc(TDevice& device) const {
    if (!checkAble) device.data = 1;
}

void TSwich::noClickFunc(TDevice& device) const {
    if (!checkAble) device.data = 0;
}

// --- TTicker ---

std::shared_ptr<TTicker> TTicker::Create(int time) {
    auto d = std::make_shared<TTicker>();
    d->generate(time);
    return d;
}

void TTicker::generate(int time) {
    Time = time;
    makeFourOutputBody(*this);
}

int TTicker::Update(const int*, int* outputs, TDevice&) {
    int v;
    if (Time > 0) {
        // Truncating remainder, as the rest of the model does its integer arithmetic.
        const int64_t r = simEnvironment().millis() % (2 * static_cast<int64_t>(Time));
        v = r > Time ? 1 : 0;
    } else {
        v = simEnvironment().randomBit();
    }
    for (int i = 0; i < 4; ++i) outputs[i] = v;
    return 4;
}

std::string TTicker::periodText() const {
    if (Time <= 0) return "";
    if (Time >= 1000) return num(Time / 1000) + "s";
    return num(Time) + "ms";
}

// --- TLed ---

std::shared_ptr<TLed> TLed::Create(int r, int g, int b) {
    auto d = std::make_shared<TLed>();
    d->generate(r, g, b);
    return d;
}

void TLed::generate(int rr, int gg, int bb) {
    r = rr;
    g = gg;
    b = bb;
    width = 2;
    Height = 2;
    input_xpos = kEdgeX;
    input_ypos = kEdgeY;
    input_cap.clear();
    output_xpos.clear();
    output_ypos.clear();
    output_cap.clear();
    colR = colG = colB = 255;
}

int TLed::Update(const int* inputs, int*, TDevice& device) {
    int v = 0;
    for (int i = 0; i < 4; ++i) {
        v = inputs[i];
        if (v != 0) break;
    }
    device.data = v;
    return 0;
}

// --- TDigital ---

std::shared_ptr<TDigital> TDigital::Create(int analog, int r, int g, int b) {
    auto d = std::make_shared<TDigital>();
    d->generate(analog, r, g, b);
    return d;
}

void TDigital::generate(int a, int r, int g, int b) {
    analog = a;
    width = 5;
    Height = 8;
    const int n = analog ? 7 : 4;
    input_xpos.assign(n, -3);
    input_ypos.clear();
    for (int i = 0; i < n; ++i) input_ypos.push_back(-3 + i);
    input_cap.clear();
    output_xpos.clear();
    output_ypos.clear();
    output_cap.clear();
    colR = r;
    colG = g;
    colB = b;
}

int TDigital::maskFor(int v) {
    static const int masks[16] = {0x5F, 0x03, 0x79, 0x73, 0x27, 0x76, 0x7E, 0x47,
                                  0x7F, 0x77, 0x6F, 0x3E, 0x5C, 0x3B, 0x7C, 0x6C};
    return v >= 0 && v < 16 ? masks[v] : 0;
}

int TDigital::Update(const int* inputs, int*, TDevice& device) {
    if (analog) {
        int m = 0;
        for (int k = 0; k < 7; ++k) m += inputs[k] << k;
        device.data = m;
    } else {
        device.data = maskFor(inputs[0] + 2 * inputs[1] + 4 * inputs[2] + 8 * inputs[3]);
    }
    return 0;
}

}  // namespace gw
