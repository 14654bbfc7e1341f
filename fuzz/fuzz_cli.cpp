// Fuzz target for gatewright-cli's command line. The input, split at 0 bytes, is the argument list;
// the tool itself is compiled into this target (its main renamed) and run in-process, in a scratch
// folder that holds copies of the example boards and the IC folder, so arguments may name files
// that exist as well as files that do not.
//
// The tool ends on an error by calling exit(); here that call throws instead, so the run comes back
// to the fuzzer and the tool's own clean-up runs. Checked beyond "no crash, no hang, no leak": the
// status is 0, 1 or 2; a usage error (2) never gets past the parser; anything the parser accepts
// keeps its promises (steps at least 0, a render has an output, the clock never overflows).
//
// Inputs that would only be slow, not wrong, are skipped: more than 64 steps or a picture of more
// than 64 x 64 pixels. Paths that leave the scratch folder (absolute, or with "..") are skipped too,
// so a run can never write outside it.
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

struct CliExit {
    int status;
};
namespace std {
[[noreturn]] void gw_cli_exit(int status) { throw CliExit{status}; }
}  // namespace std

#define exit gw_cli_exit
#define main gw_cli_main
#include "cli/main.cpp"
#undef main
#undef exit

namespace {

void copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
}

bool leavesScratch(const std::string& a) {
    return !a.empty() && (a[0] == '/' || a.find("..") != std::string::npos || a[0] == '~');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/gw-fuzz-cli-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    mkdir((dir + "/ics").c_str(), 0700);
    const std::string src = GW_SOURCE_DIR;
    for (const char* b : {"counter.gwb", "fulladder.gwb", "xor_ic.gwb", "bad_pin_index.gwb"})
        copyFile(src + "/examples/" + b, dir + "/" + b);
    copyFile(src + "/ics/Xor_$ic424242.ic", dir + "/ics/Xor_$ic424242.ic");
    if (chdir(dir.c_str()) != 0) std::abort();
    // The tool's output is not looked at; keep the fuzzer's log readable.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"gatewright-cli"};
    std::string cur;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(data[i]));
        }
    }
    args.push_back(cur);
    if (args.size() > 24) return 0;
    for (const auto& a : args)
        if (leavesScratch(a)) return 0;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());

    // The parser alone first: its promises, and whether the run would only be slow.
    Options o;
    bool usage = false;
    try {
        o = parse(argc, argv.data());
    } catch (const UsageError& e) {
        if (e.what.empty()) std::abort();
        usage = true;
    }
    if (!usage && o.command != "--help" && o.command != "-h") {
        if (o.steps < 0 || o.board.empty()) std::abort();
        if (o.command == "render" && (o.png.empty() || o.width < 1 || o.height < 1)) std::abort();
        if (o.clock) {
            long long span = 0, last = 0;
            if (o.steps > 0 && (__builtin_mul_overflow(o.steps - 1, o.clockStep, &span) ||
                                __builtin_add_overflow(o.clockStart, span, &last)))
                std::abort();
        }
        if (o.steps > 64) return 0;
        if (o.command == "render" && static_cast<long long>(o.width) * o.height > 64 * 64) return 0;
    }

    int status = -1;
    try {
        status = gw_cli_main(argc, argv.data());
    } catch (const CliExit& e) {
        status = e.status;
    }
    if (status < 0 || status > 2) std::abort();
    if ((status == 2) != usage) std::abort();
    gw::setSimEnvironment(std::make_shared<gw::SimulatedEnvironment>(0, 1));
    return 0;
}
