// The program's entry point: works in the program's own folder, asks for the OpenGL surface it
// draws with, then starts the application and runs it until it is closed.
#include <QApplication>
#include <QStringList>
#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/App.h"
#include "app/Canvas.h"
#include "app/Recovery.h"

namespace {

// Every relative path of the program (data/, lang/, ics/, cfg.ini) resolves against the folder
// holding the program file. Answers the folder that was current at launch.
std::string enterProgramFolder() {
    std::string launch;
    if (char* cwd = getcwd(nullptr, 0)) {
        launch = cwd;
        std::free(cwd);
    }
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string path(exe, static_cast<size_t>(n));
        const size_t cut = path.find_last_of('/');
        if (cut != std::string::npos && chdir(path.substr(0, cut == 0 ? 1 : cut).c_str()) != 0) {
            // Staying where we are is all that is left; relative paths then follow the launch folder.
        }
    }
    return launch;
}

}  // namespace

int main(int argc, char** argv) {
    gw::AppOptions options;
    options.launchDir = enterProgramFolder();
    if (const char* ms = std::getenv("GW_SPLASH_MS")) options.splashMinMs = std::atoi(ms);
    if (const char* r = std::getenv("GW_RASTER")) options.forceRaster = std::string(r) == "1";
    if (const char* r = std::getenv("GW_RENDERER")) {
        options.forceRaster = options.forceRaster || std::string(r) == "raster";
        options.forceOpenGL = std::string(r) == "gl";
    }

    gw::requestSurfaceFormat();
    QApplication qapp(argc, argv);

    // Qt has taken its own options out of argv; of the rest, "--raster", "--opengl" and "--no-splash"
    // are ours and the first other argument names a board file.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == "--raster") options.forceRaster = true;
        else if (a == "--opengl") options.forceOpenGL = true;
        else if (a == "--no-splash") options.splashMinMs = 0;
        else args << a;
    }

    std::unique_ptr<gw::TApp> app = gw::TApp::Create(options);
    // Unsaved work is copied beside cfg.ini while the editor runs; a copy left by a crash is
    // offered back before anything else is opened.
    gw::RecoveryGuard recovery(*app, "recovery.gwb");
    recovery.offerRestore();
    const int code = app->run(args);
    // The loop ends through the close command (valid 0) when the user closed on purpose.
    if (app->valid == 0) recovery.closedCleanly();
    app->Destroy();
    return code;
}
