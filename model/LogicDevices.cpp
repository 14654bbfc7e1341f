#include "model/LogicDevices.h"

namespace gw {

// --- TLogic ---

std::shared_ptr<TLogic> TLogic::Create(int inCons, int kind) {
    auto d = std::make_shared<TLogic>();
    d->generate(inCons, kind);
    return d;
}

void TLogic::generate(int n, int k) {
    inCons = n;
    kind = k;
    input_cap.clear();
    output_cap.clear();
    width = 2;
    if (kind == 3) {
        Height = 2;
        input_xpos.clear();
        input_ypos.clear();
        output_xpos = {1, 0, -1, 0};
        output_ypos = {0, 1, 0, -1};
        colR = 200;
        colG = 200;
        colB = 255;
        return;
    }
    Height = inCons + 1;
    input_xpos.assign(inCons > 0 ? inCons : 0, -1);
    input_ypos.clear();
    for (int i = 0; i < inCons; ++i) input_ypos.push_back(i + (-inCons / 2));
    output_xpos = {1};
    output_ypos = {0};
    colR = colG = colB = 255;
}

std::string TLogic::GetName() const {
    switch (kind) {
        case 0: return "&";
        case 1: return "\u22651";  // "≥1"
        case 2: return "=0";
        case 3: return "S";
        default: return "";
    }
}

int TLogic::Update(const int* inputs, int* outputs, TDevice&) {
    const int n = static_cast<int>(input_xpos.size());
    switch (kind) {
        case 0: {
            int v = 1;
            for (int i = 0; i < n; ++i)
                if (inputs[i] == 0) {
                    v = 0;
                    break;
                }
            outputs[0] = v;
            return 1;
        }
        case 1: {
            int v = 0;
            for (int i = 0; i < n; ++i)
                if (inputs[i] != 0) {
                    v = 1;
                    break;
                }
            outputs[0] = v;
            return 1;
        }
        case 2:
            outputs[0] = n > 0 ? (inputs[0] == 0 ? 1 : 0) : 1;  // a missing input reads 0
            return 1;
        case 3:
            for (int i = 0; i < 4; ++i) outputs[i] = 1;
            return 4;
        default:
            outputs[0] = 0;
            return 1;
    }
}

// --- TAdder ---

std::shared_ptr<TAdder> TAdder::Create(int bFull) {
    auto d = std::make_shared<TAdder>();
    d->generate(bFull);
    return d;
}

void TAdder::generate(int full) {
    bFull = full;
    width = 4;
    Height = 4;
    if (bFull) {
        input_xpos = {-2, -2, -2};
        input_ypos = {-1, 0, 1};
        input_cap = {"a", "b", "c"};
    } else {
        input_xpos = {-2, -2};
        input_ypos = {-1, 0};
        input_cap = {"a", "b"};
    }
    output_xpos = {2, 2};
    output_ypos = {-1, 1};
    output_cap = {"\u00DC", "S"};  // "Ü" (carry), "S" (sum)
    colR = colG = colB = 255;
}

int TAdder::Update(const int* inputs, int* outputs, TDevice&) {
    int s = 0;
    for (int i = 0, n = static_cast<int>(input_xpos.size()); i < n; ++i) s += inputs[i];
    int carry = 0;
    if (s >= 2) {
        carry = 1;
        s -= 2;
    }
    outputs[0] = carry;
    outputs[1] = s != 0 ? 1 : 0;
    return 2;
}

// --- TRam ---

std::shared_ptr<TRam> TRam::Create() {
    auto d = std::make_shared<TRam>();
    d->generate();
    return d;
}

void TRam::generate() {
    width = 4;
    Height = 3;
    input_xpos = {-2, -2};
    input_ypos = {-1, 0};
    input_cap = {"S", "R"};
    output_xpos = {2, 2};
    output_ypos = {0, 1};
    output_cap = {"1", "0"};
    colR = colG = colB = 255;
}

int TRam::Update(const int* inputs, int* outputs, TDevice& device) {
    if (inputs[1] != 0)
        device.data = 0;
    else if (inputs[0] != 0)
        device.data = 1;
    outputs[0] = device.data;
    outputs[1] = device.data == 0 ? 1 : 0;
    return 2;
}

// --- TCounter ---

std::shared_ptr<TCounter> TCounter::Create(int ports) {
    auto d = std::make_shared<TCounter>();
    d->generate(ports);
    return d;
}

void TCounter::generate(int n) {
    ports = n;
    width = 4;
    Height = n + 4;
    const int y0 = -(n + 4) / 2 + 1 - odd(n);
    input_xpos = {2, 2, -2, -2};
    input_ypos = {y0, y0 + 1, y0, y0 + 1};
    input_cap = {"+", "-", "S", "R"};
    output_xpos.clear();
    output_ypos.clear();
    output_cap.clear();
    for (int i = 0; i < n; ++i) {
        input_xpos.push_back(-2);
        input_ypos.push_back(y0 + 3 + i);
        input_cap.push_back(std::string(1, static_cast<char>(97 + i)));
        output_xpos.push_back(2);
        output_ypos.push_back(y0 + 3 + i + odd(n));
        output_cap.push_back(num(i + 1));
    }
    colR = colG = colB = 255;
}

int TCounter::Update(const int* inputs, int* outputs, TDevice& device) {
    const int n = ports;
    auto* cd = dynamic_cast<TCounterData*>(device.obj.get());
    if (!cd) {
        device.obj = std::make_unique<TCounterData>();
        cd = static_cast<TCounterData*>(device.obj.get());
    }
    // Counter values are kept in n bits; n is at most 10 for the built-in counters, the clamp only
    // keeps shifts defined for drafts made with odd parameters.
    const int bits = n < 0 ? 0 : (n > 30 ? 30 : n);
    const int full = 1 << bits;
    if (inputs[3] != 0) {
        device.data = 0;
    } else if (inputs[2] != 0) {
        int v = 0;
        for (int i = 0; i < n; ++i) v += inputs[4 + i] << (i < 30 ? i : 30);
        device.data = v;
    } else if (inputs[0] != 0 && cd->addSignal == 0) {
        cd->addSignal = 1;
        // 64-bit so a value near the int limit (only a board file can bring one) wraps, not overflows.
        const long long v = static_cast<long long>(device.data) + 1;
        device.data = full <= v ? 0 : static_cast<int>(v);
    } else if (inputs[1] != 0 && cd->subSignal == 0) {
        cd->subSignal = 1;
        const long long v = static_cast<long long>(device.data) - 1;
        device.data = v < 0 ? full - 1 : static_cast<int>(v);
    }
    if (inputs[0] == 0) cd->addSignal = 0;
    if (inputs[1] == 0) cd->subSignal = 0;
    // Bits from the most significant down, subtracting each power that fits. A value beyond n bits
    // (only a board file can bring one) thus shows as all ones, a negative one as all zeros.
    int rest = device.data;
    for (int i = n - 1; i >= 0; --i) {
        const int p = 1 << (i < 30 ? i : 30);
        if (p <= rest) {
            outputs[i] = 1;
            rest -= p;
        } else {
            outputs[i] = 0;
        }
    }
    return n;
}

}  // namespace gw
