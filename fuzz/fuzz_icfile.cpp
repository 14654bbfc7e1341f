// Fuzz target for the IC description reader: any bytes must read or be refused without a crash, a
// hang or a leak. A description that reads must write back to bytes that read to the same
// description, and its device type and inner circuit must be safe to use: either the circuit is
// built and runs, or it is refused with a reason and every output is 0.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ic/ICDescription.h"
#include "io/BoardFile.h"
#include "io/ByteStream.h"
#include "model/Catalogue.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gw::registerBuiltinDrafts();
    gw::setICProblemHandler({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto dsc = gw::TICDescription::Create();
    gw::ByteReader in(bytes);
    std::string why;
    if (!dsc->ReadFromStream(&in, &why)) {
        if (why.empty()) std::abort();
        return 0;
    }

    std::string out;
    dsc->SaveToStream(&out);
    gw::TICDescription back;
    gw::ByteReader in2(out);
    if (!back.ReadFromStream(&in2) || !in2.atEnd()) std::abort();
    std::string out2;
    back.SaveToStream(&out2);
    if (out2 != out) std::abort();

    // The type: every pin has a position and a caption query answers.
    auto type = gw::TLoadedDraft::Create(dsc);
    for (int i = 0; i < type->countInputs(); ++i) {
        if (std::abs(type->getInputXPos(i)) > gw::kMaxICExtent + 1) std::abort();
        if (std::abs(type->getInputYPos(i)) > gw::kMaxICExtent + 1) std::abort();
        (void)type->getInputCap(i);
    }
    for (int i = 0; i < type->countOutputs(); ++i) {
        if (std::abs(type->getOutputXPos(i)) > gw::kMaxICExtent) std::abort();
        if (std::abs(type->getOutputYPos(i)) > gw::kMaxICExtent) std::abort();
        (void)type->getOutputCap(i);
    }
    // Its body: the hit test of a placed device stays within int arithmetic.
    gw::TDevice body(type, gw::kMaxBoardCoordinate, -gw::kMaxBoardCoordinate);
    (void)body.pointIn(0, 0, 0);

    // Two placed devices of it, stepped with changing inputs.
    const bool buildable = dsc->circuitProblem().empty();
    for (int dev = 0; dev < 2; ++dev) {
        gw::TDevice d(type, 0, 0);
        std::vector<int> ins(type->countInputs()), outs(type->countOutputs() + 1);
        for (int step = 0; step < 4; ++step) {
            for (std::size_t i = 0; i < ins.size(); ++i) ins[i] = static_cast<int>((i + step + dev) & 1);
            const int n = type->Update(ins.data(), outs.data(), d);
            if (n != type->countOutputs()) std::abort();
            for (int i = 0; i < n; ++i) {
                if (outs[i] != 0 && outs[i] != 1) std::abort();
                if (!buildable && outs[i] != 0) std::abort();
            }
        }
    }
    return 0;
}
