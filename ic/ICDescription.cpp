#include "ic/ICDescription.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstring>

#include "io/AtomicFile.h"
#include "io/ByteStream.h"
#include "io/ICFile.h"
#include "model/Registry.h"

namespace gw {

namespace {

ICProblemHandler& problemHandler() {
    static ICProblemHandler h;
    return h;
}

// `flags` made exactly `n` long: missing flags are 0, extra ones are dropped.
std::vector<int> fitted(const std::vector<int>* flags, int n) {
    std::vector<int> v(n > 0 ? n : 0, 0);
    if (flags)
        for (int i = 0; i < n && i < static_cast<int>(flags->size()); ++i) v[i] = (*flags)[i];
    return v;
}

std::string devText(std::size_t k, const std::string& id) {
    return "inner device " + std::to_string(k) + " (\"" + id + "\")";
}

}  // namespace

// --- TICDescription ---

TICDescription::TICDescription() : id(freshID()) {}

std::string TICDescription::freshID() {
    // The system's uptime in milliseconds, wrapped into a signed 32-bit number the way a 32-bit
    // millisecond counter reads after about 24.8 days.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec / 1000000);
    return "$ic" + num(static_cast<int32_t>(static_cast<uint32_t>(ms)));
}

std::unique_ptr<TVDraft> TICDescription::generateVirtualDraft(std::string* problem) const {
    auto fail = [&](std::string why) -> std::unique_ptr<TVDraft> {
        if (problem) *problem = std::move(why);
        return nullptr;
    };
    auto vd = std::make_unique<TVDraft>();
    vd->vDevices.resize(deviceID.size());
    for (std::size_t k = 0; k < deviceID.size(); ++k) {
        DraftPtr d = getDraft(deviceID[k]);
        if (!d) return fail(devText(k, deviceID[k]) + " has a type this program does not know");
        // An IC inside an IC would build its own inner circuit inside this one's update; a
        // description that names itself would never stop. Nested ICs are expanded into plain
        // devices when a description is made, so a stored one never needs this.
        if (dynamic_cast<const TLoadedDraft*>(d.get()))
            return fail(devText(k, deviceID[k]) + " is itself an IC; an IC may hold built-in types only");
        TVDevice& v = vd->vDevices[k];
        v.draft = d;
        const int ni = d->countInputs(), no = d->countOutputs();
        v.inputs.assign(ni, nullptr);
        v.outputs.assign(no, nullptr);
        v.invertedInput = fitted(k < invertedInputs.size() ? &invertedInputs[k] : nullptr, ni);
        v.invertedOutput = fitted(k < invertedOutputs.size() ? &invertedOutputs[k] : nullptr, no);
        v.device->draft = d;
        v.device->sizePins();
    }
    vd->vWires.resize(wireBelongs.size());
    for (std::size_t w = 0; w < wireBelongs.size(); ++w) {
        for (std::size_t e = 0; e < wireBelongs[w].size(); ++e) {
            const auto& [kind, pin, dev] = wireBelongs[w][e];
            const std::string where =
                "inner wire " + std::to_string(w) + ", entry " + std::to_string(e) + ": ";
            if (dev < 0 || dev >= static_cast<int>(vd->vDevices.size()))
                return fail(where + "device " + std::to_string(dev) + " does not exist (the IC has " +
                            std::to_string(vd->vDevices.size()) + " inner devices)");
            TVDevice& v = vd->vDevices[dev];
            auto& slots = kind == 0 ? v.inputs : v.outputs;
            if (pin < 0 || pin >= static_cast<int>(slots.size()))
                return fail(where + (kind == 0 ? "input " : "output ") + std::to_string(pin) + " of " +
                            devText(dev, deviceID[dev]) + " does not exist");
            slots[pin] = &vd->vWires[w];
        }
    }
    auto pinWires = [&](const std::vector<int>& nums, std::vector<TVWire*>& to, const char* what) {
        to.assign(nums.size(), nullptr);
        for (std::size_t i = 0; i < nums.size(); ++i) {
            if (nums[i] < 0 || nums[i] >= static_cast<int>(vd->vWires.size())) {
                if (problem)
                    *problem = std::string(what) + " pin " + std::to_string(i) + " names inner wire " +
                               std::to_string(nums[i]) + ", but the IC has " +
                               std::to_string(vd->vWires.size()) + " inner wires";
                return false;
            }
            to[i] = &vd->vWires[nums[i]];
        }
        return true;
    };
    if (!pinWires(inputWires, vd->inputs, "input") || !pinWires(outputWires, vd->outputs, "output"))
        return nullptr;
    return vd;
}

std::string TICDescription::circuitProblem() const {
    std::string why;
    if (generateVirtualDraft(&why)) return "";
    return why.empty() ? std::string("the inner circuit cannot be built") : why;
}

int TICDescription::SaveToStream(std::string* out) const {
    if (!out) return 0;
    ByteWriter w(*out);
    writeICRecord(w, *this);
    return 1;
}

int TICDescription::SaveToFile(const std::string& path, std::string* error) const {
    std::string bytes;
    SaveToStream(&bytes);
    return writeFileAtomically(path, bytes, error) ? 1 : 0;
}

int TICDescription::ReadFromStream(ByteReader* in, std::string* error) {
    if (!in) return 0;
    return readICRecord(*in, *this, error) ? 1 : 0;
}

int TICDescription::readFromFile(const std::string& path, std::string* error) {
    std::string bytes, why;
    if (!readWholeFile(path, bytes, &why)) {
        if (error) *error = why;
        return 0;
    }
    ByteReader in(bytes);
    if (!ReadFromStream(&in, &why)) {
        if (error) *error = "\"" + path + "\" is not a complete IC description: " + why + ".";
        return 0;
    }
    return 1;
}

bool TICDescription::sameContent(const TICDescription& o) const {
    return Name == o.Name && info == o.info && cap == o.cap && id == o.id && deviceID == o.deviceID &&
           invertedInputs == o.invertedInputs && invertedOutputs == o.invertedOutputs &&
           wireBelongs == o.wireBelongs && inputWires == o.inputWires && outputWires == o.outputWires &&
           input_cap == o.input_cap && input_xpos == o.input_xpos && input_ypos == o.input_ypos &&
           output_cap == o.output_cap && output_xpos == o.output_xpos && output_ypos == o.output_ypos &&
           width == o.width && Height == o.Height && colR == o.colR && colG == o.colG && colB == o.colB;
}

ICProblemHandler setICProblemHandler(ICProblemHandler handler) {
    ICProblemHandler old = std::move(problemHandler());
    problemHandler() = std::move(handler);
    return old;
}

std::string reportICProblem(TICDescription& dsc) {
    std::string why = dsc.circuitProblem();
    if (!why.empty() && !dsc.problemReported) {
        dsc.problemReported = 1;
        if (problemHandler()) problemHandler()(dsc, why);
    }
    return why;
}

std::shared_ptr<TLoadedDraft> registerICDescription(const ICDescriptionPtr& dsc) {
    if (!dsc || getDraft(dsc->id)) return nullptr;
    auto draft = TLoadedDraft::Create(dsc);
    registerDraft(draft);
    reportICProblem(*dsc);
    return draft;
}

std::vector<ICDescriptionPtr> readICFolder(const std::string& dir, std::vector<std::string>* skipped) {
    std::vector<ICDescriptionPtr> found;
    DIR* d = opendir(dir.c_str());
    if (!d) {
        if (skipped)
            skipped->push_back("Could not list the IC folder \"" + dir + "\": " + std::strerror(errno) + ".");
        return found;
    }
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty()) break;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        auto dsc = TICDescription::Create();
        std::string why;
        if (dsc->readFromFile(path, &why))
            found.push_back(std::move(dsc));
        else if (skipped)
            skipped->push_back(why);
    }
    closedir(d);
    return found;
}

// --- the virtual circuit ---

void TVDevice::Update() {
    const int ni = static_cast<int>(inputs.size());
    const int no = static_cast<int>(outputs.size());
    PinBuffers buf(ni, no);
    int* ins = buf.ins;
    int* outs = buf.outs;
    for (int i = 0; i < ni; ++i) {
        const TVWire* w = inputs[i];
        if (!w)
            ins[i] = 0;
        else if (invertedInput[i] != 0)
            ins[i] = w->State == 0 ? 1 : 0;
        else
            ins[i] = w->State;
    }
    int n = draft->Update(ins, outs, *device);
    if (n > no) n = no;
    for (int i = 0; i < n; ++i) {
        TVWire* w = outputs[i];
        if (w) w->State = outs[i] == (invertedOutput[i] == 0 ? 1 : 0) ? 1 : 0;
    }
}

void TVDraft::Update(const int* values, int nValues, int* out, int nOut) {
    const int nIn = static_cast<int>(inputs.size());
    for (int i = 0; i < nValues && i < nIn; ++i)
        if (inputs[i]) inputs[i]->State = values[i];
    for (auto& d : vDevices) d.Update();
    const int nOwn = static_cast<int>(outputs.size());
    for (int i = 0; i < nOut; ++i) out[i] = i < nOwn && outputs[i] ? outputs[i]->State : 0;
}

std::vector<int> TVDraft::Update(const std::vector<int>& values) {
    std::vector<int> out(outputs.size());
    Update(values.data(), static_cast<int>(values.size()), out.data(), static_cast<int>(out.size()));
    return out;
}

// --- TLoadedDraft ---

std::shared_ptr<TLoadedDraft> TLoadedDraft::Create(ICDescriptionPtr dsc) {
    auto d = std::make_shared<TLoadedDraft>();
    d->generate(std::move(dsc));
    return d;
}

void TLoadedDraft::generate(ICDescriptionPtr description) {
    dsc = std::move(description);
    // Sizes and pin offsets are kept within kMaxICExtent cells: the editor makes bodies of at most
    // 15 cells, and the board's geometry works in plain int, where a damaged file's extreme values
    // would overflow. The description itself keeps what it holds.
    auto extent = [](int v, int lo) { return v < lo ? lo : (v > kMaxICExtent ? kMaxICExtent : v); };
    auto clamped = [&](std::vector<int> v) {
        for (int& x : v) x = extent(x, -kMaxICExtent);
        return v;
    };
    width = extent(dsc->width, 0);
    Height = extent(dsc->Height, 0);
    // The x positions decide how many pins there are; a y list of another length (only a damaged
    // file has one) is padded with 0 or cut so every pin has a position.
    input_xpos = clamped(dsc->input_xpos);
    input_ypos = clamped(fitted(&dsc->input_ypos, static_cast<int>(input_xpos.size())));
    input_cap = dsc->input_cap;
    output_xpos = clamped(dsc->output_xpos);
    output_ypos = clamped(fitted(&dsc->output_ypos, static_cast<int>(output_xpos.size())));
    output_cap = dsc->output_cap;
    colR = dsc->colR;
    colG = dsc->colG;
    colB = dsc->colB;
}

int TLoadedDraft::Update(const int* inputs, int* outputs, TDevice& device) {
    const int no = countOutputs();
    TDeviceObj* obj = device.obj.get();
    auto* vd = dynamic_cast<TVDraft*>(obj);
    if (!vd) {
        if (!dynamic_cast<TBrokenIC*>(obj)) {
            std::string why;
            auto built = dsc->generateVirtualDraft(&why);
            if (built) {
                vd = built.get();
                device.obj = std::move(built);
            } else {
                device.obj = std::make_unique<TBrokenIC>();
                reportICProblem(*dsc);
            }
        }
        if (!vd) {
            for (int i = 0; i < no; ++i) outputs[i] = 0;
            return no;
        }
    }
    vd->Update(inputs, countInputs(), outputs, no);
    return no;
}

}  // namespace gw
