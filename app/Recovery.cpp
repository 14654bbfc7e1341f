// The recovery copy of a board with unsaved changes, and its place in the editor.
#include "app/Recovery.h"

#include <sys/stat.h>

#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/App.h"
#include "app/Texts.h"
#include "board/BoardEngine.h"
#include "io/AtomicFile.h"
#include "io/BoardFile.h"

namespace gw {

namespace {

bool fileExists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

}  // namespace

RecoveryCopy::RecoveryCopy(std::string path) : path_(std::move(path)) {}

bool RecoveryCopy::exists() const { return fileExists(path_); }

bool RecoveryCopy::update(const TBoardEngine& board, int64_t nowMs) {
    if (disabled_) return false;
    if (!board.isChanged()) {
        // Nothing left to recover: the board was saved, or replaced by one without changes.
        discard();
        return false;
    }
    if (tried_ && nowMs - lastWriteMs_ < kIntervalMs) return false;
    // Serialising a large board takes a while, so even a copy found still current counts as an
    // attempt: the next look is an interval away.
    tried_ = true;
    lastWriteMs_ = nowMs;
    std::string bytes;
    WriteToStream(board, bytes);
    if (written_ && bytes == lastBytes_) return false;  // the copy there is still current
    std::string why;
    if (!writeFileAtomically(path_, bytes, &why)) {
        lastError_ = why;
        return false;
    }
    lastError_.clear();
    lastBytes_ = std::move(bytes);
    written_ = true;
    ++writes_;
    return true;
}

void RecoveryCopy::discard() {
    if (disabled_ || !written_) return;
    std::remove(path_.c_str());
    written_ = false;
    tried_ = false;
    lastBytes_.clear();
}

void RecoveryCopy::adopt() {
    if (disabled_) return;
    written_ = exists();
    tried_ = false;
    lastBytes_.clear();
    readWholeFile(path_, lastBytes_, nullptr, kMaxBoardFileBytes);
}

std::string RecoveryCopy::keepAside(std::string* error) {
    const auto slash = path_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    std::string stem = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string ext;
    if (const auto dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0) {
        ext = stem.substr(dot);
        stem.resize(dot);
    }
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    // rename() would silently replace a copy kept aside earlier in the same second; link() refuses
    // an existing name, so no older copy is ever lost.
    for (int n = 1; n < 1000; ++n) {
        const std::string target =
            folder + stem + "-" + stamp + (n > 1 ? "-" + std::to_string(n) : std::string()) + ext;
        if (::link(path_.c_str(), target.c_str()) == 0) {
            std::remove(path_.c_str());
            written_ = false;
            tried_ = false;
            lastBytes_.clear();
            return target;
        }
        if (errno != EEXIST) {
            if (error) *error = "The recovery copy " + path_ + " could not be moved aside: " + std::strerror(errno);
            disabled_ = true;
            return {};
        }
    }
    if (error) *error = "The recovery copy " + path_ + " could not be moved aside: too many copies already";
    disabled_ = true;
    return {};
}

// ---------------------------------------------------------------------------------------------

RecoveryGuard::RecoveryGuard(TApp& app, std::string path, QObject* parent)
    : QObject(parent), app_(app), copy_(std::move(path)) {
    clock_.start();
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] { poll(clock_.elapsed()); });
    timer_->start();
}

RecoveryGuard::~RecoveryGuard() = default;

void RecoveryGuard::poll(int64_t nowMs) {
    if (app_.valid == 0 || !app_.board) return;
    copy_.update(*app_.board, nowMs);
}

bool RecoveryGuard::offerRestore() {
    if (!copy_.exists() || copy_.disabled()) return false;
    const int answer = app_.dialogs().question(app_.Window, loc("{{dm_recover}}"));
    if (answer == 1) {
        const std::string before = app_.lastSavepath;
        app_.lastSavepath.clear();
        app_.menOpen(copy_.path());
        if (app_.lastSavepath == copy_.path() && app_.board) {
            // The restored work has no file of its own yet: a save asks where to put it, and until
            // then the copy stays as it is.
            app_.lastSavepath.clear();
            app_.board->setChanged(1);
            app_.updateWindowTitle();
            copy_.adopt();
            return true;
        }
        app_.lastSavepath = before;
        // Unreadable: the open command has said why; the file is kept aside below all the same.
    }
    // No (or an unreadable copy): the copy is renamed, never deleted; only when even that fails
    // is the user told, since the copy then stays where it is and this run will not touch it.
    std::string why;
    if (copy_.keepAside(&why).empty()) app_.dialogs().notice(app_.Window, QString::fromStdString(why), true);
    return false;
}

void RecoveryGuard::closedCleanly() {
    timer_->stop();
    copy_.discard();
}

}  // namespace gw
