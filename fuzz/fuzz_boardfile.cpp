// Fuzz target for the board file reader: any bytes must load or be refused with a reason, without a
// crash, a hang or a leak. A board that loads must step (its IC devices build their inner circuits
// from whatever descriptions the file carried) and must save to bytes that load back and save to
// exactly the same bytes again.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "board/BoardEngine.h"
#include "ic/ICDescription.h"
#include "io/BoardFile.h"
#include "io/ByteStream.h"
#include "model/Catalogue.h"
#include "model/Registry.h"
#include "model/SimEnvironment.h"

namespace {

std::size_t builtinCount = 0;

std::shared_ptr<gw::TBoardEngine> newBoard() {
    return gw::TBoardEngine::Create({}, nullptr,
                                    [](const gw::ICDescriptionPtr& d, void*) {
                                        // The registry keeps every type for the whole run; a cap
                                        // keeps a long fuzzing run from growing it without end.
                                        if (gw::draftRegistry().size() < builtinCount + 2000)
                                            gw::registerICDescription(d);
                                        return 1;
                                    },
                                    nullptr);
}

std::string save(const gw::TBoardEngine& b) {
    std::string s;
    gw::WriteToStream(b, s);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gw::registerBuiltinDrafts();
    builtinCount = gw::draftRegistry().size();
    gw::setSimEnvironment(std::make_shared<gw::SimulatedEnvironment>(0, 1));
    gw::setICProblemHandler({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto board = newBoard();
    gw::BoardLoadReport rep;
    gw::ByteReader in(bytes);
    if (!gw::ReadFromStream(*board, in, &rep)) {
        // A refused file leaves the board empty and says why.
        if (rep.error.empty() || !board->deviceList.empty() || !board->wireComplexList.empty() ||
            !board->captionList.empty())
            std::abort();
        return 0;
    }
    for (int i = 0; i < 3; ++i) board->updateDevices();

    const std::string first = save(*board);
    auto again = newBoard();
    gw::ByteReader in2(first);
    gw::BoardLoadReport rep2;
    if (!gw::ReadFromStream(*again, in2, &rep2) || !rep2.warnings.empty()) std::abort();
    if (save(*again) != first) std::abort();
    return 0;
}
