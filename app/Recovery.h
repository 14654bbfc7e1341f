// Crash recovery: while the board has unsaved changes, a copy of it is kept beside cfg.ini, so a
// crash, a power cut or a killed process costs at most the last half minute of work.
//
// RecoveryCopy is the file and its rules, free of any window: it writes the board (through the
// crash-safe writer, so the copy itself is never half written) at most once per interval and only
// when its bytes differ from the last copy; it removes the copy it wrote once the board has no
// unsaved changes any more (saved, or replaced by a board without changes) and on a clean close.
// A copy found at start is never deleted without the user's word: it is either restored (and then
// adopted, so it stays until the work is saved) or moved aside under a dated name.
//
// RecoveryGuard ties it to the editor: a one-second poll of the application's board, the question
// at start (a localisation token, "{{dm_recover}}") and the clean close.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <cstdint>
#include <string>

class QTimer;

namespace gw {

class TApp;
class TBoardEngine;
struct BoardLoadReport;

class RecoveryCopy {
public:
    static constexpr int64_t kIntervalMs = 30000;

    // `path` is the copy's file, normally "recovery.gwb" in the folder of cfg.ini.
    explicit RecoveryCopy(std::string path);

    const std::string& path() const { return path_; }
    // A copy lies at the path (from an earlier run, or written by this one).
    bool exists() const;

    // Called often with a steady clock in milliseconds. With unsaved changes: writes the board when
    // no copy was written yet or the last write is at least kIntervalMs ago, and its bytes differ
    // from that copy. Without unsaved changes: removes the copy this object wrote or adopted.
    // Answers true when it wrote. A failed write is kept in lastError() and tried again after the
    // interval; the copy already there stays whole.
    bool update(const TBoardEngine& board, int64_t nowMs);
    // The work was saved or the editor closed on purpose: the copy this object owns goes.
    void discard();

    // A copy found at start, refused by the user: renamed to recovery-YYYYMMDD-HHMMSS.gwb (with
    // "-2", "-3" ... when taken) in the same folder. Answers the new path, or "" with the reason in
    // `error`; in that case this object never writes over the copy (it is disabled).
    std::string keepAside(std::string* error = nullptr);
    // Takes a copy found at start as this object's own (after it was restored), so it is replaced
    // by the next write and removed after a save.
    void adopt();

    bool disabled() const { return disabled_; }
    const std::string& lastError() const { return lastError_; }
    int writes() const { return writes_; }

private:
    std::string path_;
    std::string lastBytes_;
    int64_t lastWriteMs_ = 0;
    bool written_ = false;  // a copy of ours lies at path_
    bool tried_ = false;    // a write was attempted (lastWriteMs_ is valid)
    bool disabled_ = false;
    std::string lastError_;
    int writes_ = 0;
};

class RecoveryGuard : public QObject {
    Q_OBJECT
public:
    // Watches `app`'s board from now on; `path` as for RecoveryCopy.
    RecoveryGuard(TApp& app, std::string path, QObject* parent = nullptr);
    ~RecoveryGuard() override;

    // At start, when a copy exists: asks the user whether to restore it. Yes: the copy is opened as
    // a board with unsaved changes and without a file name (so a save asks where to). No, or a copy
    // that cannot be read: the copy is moved aside and the user is told where. Answers true when
    // the board was restored.
    bool offerRestore();
    // The editor was closed on purpose (the user saved or chose to drop the changes).
    void closedCleanly();
    // One poll, as the timer does it (tests call it with their own clock).
    void poll(int64_t nowMs);

    RecoveryCopy& copy() { return copy_; }

private:
    TApp& app_;
    RecoveryCopy copy_;
    QTimer* timer_ = nullptr;
    QElapsedTimer clock_;
};

}  // namespace gw
