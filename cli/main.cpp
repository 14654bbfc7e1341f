// gatewright-cli: the simulator without a window. `run` loads a board, steps it and prints the
// state of every device and net as one JSON object; `render` draws the board to a PNG the way the
// editor shows it after opening. Teachers check many boards with it, and tests drive the whole model
// through it.
//
// Contract: on success the result goes to standard output and the status is 0 (problems that did
// not stop the work, such as a repaired inversion list or an IC whose inner circuit cannot be built,
// are written to standard error as warnings). On any error exactly one line goes to standard error,
// naming the file and the reason, nothing goes to standard output and the status is 1. A usage error
// prints the usage text to standard error and ends with status 2.
#include <unistd.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "board/BoardEngine.h"
#include "ic/ICDescription.h"
#include "io/AtomicFile.h"
#include "io/BoardFile.h"
#include "model/Catalogue.h"
#include "model/SimEnvironment.h"
#include "ui/raster/RasterRenderer.h"
#include "ui/render/Pics.h"

namespace {

const char* kUsage =
    "usage:\n"
    "  gatewright-cli run BOARD [--steps N] [--ics DIR]... [--clock-start MS --clock-step MS]\n"
    "                           [--seed S] [--save OUT]\n"
    "  gatewright-cli render BOARD -o OUT.png [--width W] [--height H] [--steps N] [--ics DIR]...\n"
    "                           [--clock-start MS --clock-step MS] [--seed S]\n"
    "\n"
    "run     loads BOARD, runs N simulation steps (default 1) and prints the devices and nets as JSON\n"
    "render  loads BOARD, runs N steps (default 0) and draws it to a PNG image (default 800 x 600)\n"
    "--ics DIR             read the IC descriptions in DIR first (may be given more than once)\n"
    "--clock-start MS      clocks read a simulated time of MS + k * STEP milliseconds during step k\n"
    "--clock-step STEP\n"
    "--seed S              fixes the random generator\n"
    "--save OUT            saves the board to OUT after the steps\n";

struct UsageError {
    std::string what;
};

// One error line: control characters (a file may put them into a name) would break the one-line
// promise, so they are shown as '?'.
[[noreturn]] void fail(const std::string& msg) {
    std::string line = "gatewright-cli: " + msg;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    std::fprintf(stderr, "%s\n", line.c_str());
    std::exit(1);
}

void warn(const std::string& msg) {
    std::string line = "gatewright-cli: warning: " + msg;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    std::fprintf(stderr, "%s\n", line.c_str());
}

struct Options {
    std::string command, board, save, png;
    std::vector<std::string> icDirs;
    long long steps = -1;
    bool clock = false;
    long long clockStart = -1, clockStep = -1;
    bool seeded = false;
    uint32_t seed = 0;
    int width = 800, height = 600;
};

long long number(const std::string& opt, const char* text, long long lo, long long hi) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno == ERANGE || v < lo || v > hi)
        throw UsageError{opt + " needs a whole number from " + std::to_string(lo) + " to " +
                         std::to_string(hi) + ", not \"" + text + "\""};
    return v;
}

Options parse(int argc, char** argv) {
    Options o;
    if (argc < 2) throw UsageError{"no command given"};
    o.command = argv[1];
    if (o.command == "--help" || o.command == "-h") return o;
    if (o.command != "run" && o.command != "render") throw UsageError{"unknown command \"" + o.command + "\""};
    const bool render = o.command == "render";
    long long start = -1, step = -1;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) throw UsageError{a + " needs a value"};
            return argv[++i];
        };
        if (a == "--steps") {
            o.steps = number(a, value(), 0, LLONG_MAX);
        } else if (a == "--ics") {
            o.icDirs.push_back(value());
        } else if (a == "--clock-start") {
            start = number(a, value(), 0, LLONG_MAX / 4);
        } else if (a == "--clock-step") {
            step = number(a, value(), 0, LLONG_MAX / 4);
        } else if (a == "--seed") {
            o.seed = static_cast<uint32_t>(number(a, value(), 0, UINT32_MAX));
            o.seeded = true;
        } else if (a == "--save" && !render) {
            o.save = value();
        } else if (a == "-o" && render) {
            o.png = value();
        } else if (a == "--width" && render) {
            o.width = static_cast<int>(number(a, value(), 1, 16384));
        } else if (a == "--height" && render) {
            o.height = static_cast<int>(number(a, value(), 1, 16384));
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option \"" + a + "\" for " + o.command};
        } else if (o.board.empty()) {
            o.board = a;
        } else {
            throw UsageError{"only one board file may be given"};
        }
    }
    if (o.board.empty()) throw UsageError{"no board file given"};
    if (render && o.png.empty()) throw UsageError{"render needs -o OUT.png"};
    if ((start >= 0) != (step >= 0)) throw UsageError{"--clock-start and --clock-step go together"};
    if (o.steps < 0) o.steps = render ? 0 : 1;
    if (start >= 0) {
        // The clock must stay representable up to the last step.
        long long span = 0, last = 0;
        if (o.steps > 0 && (__builtin_mul_overflow(o.steps - 1, step, &span) ||
                            __builtin_add_overflow(start, span, &last)))
            throw UsageError{"--clock-start + steps x --clock-step is too large"};
        o.clock = true;
        o.clockStart = start;
        o.clockStep = step;
    }
    return o;
}

// Time and randomness for the run: a simulated clock when asked for, else the real one; a seeded
// generator when asked for, else a randomly seeded one.
class CliEnvironment : public gw::SimEnvironment {
public:
    CliEnvironment(bool simulated, int64_t start, bool seeded, uint32_t seed)
        : simulated_(simulated), now_(start), rng_(seeded ? seed : std::random_device{}()) {}
    int64_t millis() override { return simulated_ ? now_ : real_.millis(); }
    int randomBit() override { return static_cast<int>(rng_() & 1u); }
    void set(int64_t ms) { now_ = ms; }

private:
    bool simulated_;
    int64_t now_;
    std::mt19937 rng_;
    gw::SystemEnvironment real_;
};

std::string programFolder() {
    std::string buf(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return ".";
    buf.resize(static_cast<std::size_t>(n));
    const auto slash = buf.find_last_of('/');
    return slash == std::string::npos ? "." : buf.substr(0, slash);
}

// A JSON string. Valid UTF-8 passes through; any other byte is taken as the Latin-1 character of
// that code, so every id gives valid JSON.
std::string jsonString(const std::string& s) {
    std::string out = "\"";
    auto hex = [&](unsigned v) {
        char b[8];
        std::snprintf(b, sizeof b, "\\u%04x", v);
        out += b;
    };
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7f) {
            hex(c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            bool ok = len > 0 && i + len <= s.size();
            for (int k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
            if (ok && len == 3) {
                const unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
                ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
            }
            if (ok && len == 4) {
                const unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
                ok = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
            }
            if (ok) {
                out.append(s, i, len);
                i += len;
            } else {
                hex(c);
                ++i;
            }
        }
    }
    return out + "\"";
}

std::string stateJson(const gw::TBoardEngine& b) {
    std::string out = "{\"devices\": [";
    bool first = true;
    for (const auto& d : b.deviceList) {
        if (!first) out += ", ";
        first = false;
        out += "{\"type\": " + jsonString(d->draft->getID()) + ", \"x\": " + std::to_string(d->xPos) +
               ", \"y\": " + std::to_string(d->yPos) + ", \"data\": " + std::to_string(d->data) + "}";
    }
    out += "], \"nets\": [";
    first = true;
    for (const auto& n : b.wireComplexList) {
        if (!first) out += ", ";
        first = false;
        out += std::to_string(n->State);
    }
    return out + "]}\n";
}

// Built-in types, the IC folders, the board; then the steps.
std::shared_ptr<gw::TBoardEngine> loadAndStep(const Options& o) {
    gw::setICProblemHandler([](const gw::TICDescription& d, const std::string& why) {
        warn("IC \"" + d.Name + "\" (" + d.id + ") cannot run, its devices give 0 on every output: " + why);
    });
    gw::registerBuiltinDrafts();
    for (const auto& dir : o.icDirs) {
        std::vector<std::string> skipped;
        auto found = gw::readICFolder(dir, &skipped);
        if (found.empty() && skipped.size() == 1 && skipped[0].rfind("Could not list", 0) == 0)
            fail(skipped[0]);
        for (const auto& s : skipped) warn("IC file skipped: " + s);
        for (const auto& d : found) gw::registerICDescription(d);
    }

    auto board = gw::TBoardEngine::Create({}, nullptr,
                                          [](const gw::ICDescriptionPtr& d, void*) {
                                              // An id already registered keeps its type.
                                              gw::registerICDescription(d);
                                              return 1;
                                          },
                                          nullptr);
    gw::BoardLoadReport report;
    if (!gw::readFromFile(*board, o.board, &report)) fail(report.error);
    for (const auto& w : report.warnings) warn(o.board + ": " + w);

    auto env = std::make_shared<CliEnvironment>(o.clock, o.clockStart, o.seeded, o.seed);
    gw::setSimEnvironment(env);
    for (long long k = 0; k < o.steps; ++k) {
        if (o.clock) env->set(o.clockStart + k * o.clockStep);
        board->updateDevices();
    }
    return board;
}

int runCommand(const Options& o) {
    auto board = loadAndStep(o);
    const std::string json = stateJson(*board);
    if (!o.save.empty()) {
        std::string why;
        if (!gw::writeToFile(*board, o.save, &why)) fail(why);
    }
    if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() || std::fflush(stdout) != 0)
        fail(o.board + ": the result could not be written to standard output");
    return 0;
}

int renderCommand(const Options& o) {
    auto board = loadAndStep(o);
    const std::string dataDir = programFolder() + "/data";
    auto pics = gw::Pics::Load(dataDir);
    if (!pics || !pics->device || !pics->font24)
        fail(dataDir + ": the pictures and the font the drawing needs are missing");

    // The view of a freshly opened board: zoom 1, panned so the devices are centred.
    double xMove = 0, yMove = 0;
    if (!board->deviceList.empty()) {
        double minX = 0, maxX = 0, minY = 0, maxY = 0;
        bool first = true;
        for (const auto& d : board->deviceList) {
            const double px = d->xPos * 20.0, py = d->yPos * 20.0;
            if (first) {
                minX = maxX = px;
                minY = maxY = py;
                first = false;
            }
            minX = std::min(minX, px);
            maxX = std::max(maxX, px);
            minY = std::min(minY, py);
            maxY = std::max(maxY, py);
        }
        xMove = -(minX + maxX) / 2 + 0.5 * o.width;
        yMove = -(minY + maxY) / 2 + 0.5 * o.height;
    }

    QImage image(o.width, o.height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) fail(o.png + ": there is not enough memory for a " + std::to_string(o.width) + " x " +
                             std::to_string(o.height) + " picture");
    image.fill(Qt::white);
    gw::RasterRenderer r;
    if (!r.begin(&image)) fail(o.png + ": the picture cannot be drawn");
    r.setPics(pics);
    r.resetState();
    r.setBlend(gw::BlendMode::Alpha);
    board->Draw(r, xMove, yMove, 1.0, 1.0, o.width, o.height);
    r.flush();
    r.end();

    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    if (!image.save(&buf, "PNG")) fail(o.png + ": the picture could not be encoded as PNG");
    std::string why;
    if (!gw::writeFileAtomically(o.png, std::string_view(bytes.constData(), bytes.size()), &why)) fail(why);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    try {
        o = parse(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "gatewright-cli: %s\n%s", e.what.c_str(), kUsage);
        return 2;
    }
    if (o.command == "--help" || o.command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return o.command == "run" ? runCommand(o) : renderCommand(o);
}
