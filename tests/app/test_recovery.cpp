// The recovery copy: when it is written, when it goes, what the start-up question does with it, and
// that a full disk never damages the copy already there. The editor parts run the real application
// on the offscreen platform with scripted dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/App.h"
#include "app/Recovery.h"
#include "app/Texts.h"
#include "board/BoardEngine.h"
#include "board/Caption.h"
#include "io/BoardFile.h"
#include "model/Catalogue.h"
#include "model/Registry.h"
#include "reliability/FullDisk.h"

namespace gw {
namespace {

std::string readFile(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string bytesOf(const TBoardEngine& b) {
    std::string s;
    WriteToStream(b, s);
    return s;
}

// A board holding one caption; `text` tells boards apart.
std::shared_ptr<TBoardEngine> boardWith(const std::string& text) {
    auto b = TBoardEngine::Create();
    auto c = TCaption::Create();
    c->txt = text;
    b->captionList.push_back(c);
    return b;
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class RecoveryCopyTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path() const { return dir.filePath("recovery.gwb").toStdString(); }
};

// The rhythm of writes over time: at once on the first change, then at most every 30 s and only
// when something changed; removed as soon as there is nothing left to recover.
TEST_F(RecoveryCopyTest, WritesAtMostEveryIntervalAndOnlyNewContent) {
    RecoveryCopy copy(path());
    auto b = boardWith("first");
    b->setChanged(0);

    struct Step {
        int64_t ms;
        const char* edit;  // new caption text, or null
        int changed;
        bool writes;
        bool fileAfter;
        bool current;  // the copy holds the board as it is now
    } steps[] = {
        {0, nullptr, 0, false, false, false},     // nothing to recover
        {1000, "second", 1, true, true, true},    // first change: written at once
        {2000, "third", 1, false, true, false},   // within the interval: waits
        {30999, nullptr, 1, false, true, false},  // still within it
        {31000, nullptr, 1, true, true, true},    // interval over: the newer board goes out
        {70000, nullptr, 1, false, true, true},   // same bytes: no write
        {80000, nullptr, 0, false, false, false}, // saved: the copy goes
        {80500, "fourth", 1, true, true, true},   // a new change after a save is written at once
    };
    int writes = 0;
    std::string previous;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.ms);
        if (s.edit) b->captionList[0]->txt = s.edit;
        b->setChanged(s.changed);
        EXPECT_EQ(copy.update(*b, s.ms), s.writes);
        writes += s.writes;
        EXPECT_EQ(copy.exists(), s.fileAfter);
        if (s.fileAfter) {
            const std::string now = readFile(path());
            EXPECT_EQ(now == bytesOf(*b), s.current);
            if (!s.writes) {
                EXPECT_EQ(now, previous) << "the copy changed without a write";
            }
            previous = now;
        }
    }
    EXPECT_EQ(copy.writes(), writes);
    copy.discard();
    EXPECT_FALSE(copy.exists());
}

// A copy this run did not write (left by a crash) is never removed by the rhythm above; only the
// user's answer decides, and "no" renames it without ever replacing an earlier kept copy.
TEST_F(RecoveryCopyTest, ForeignCopyIsKeptAsideNeverDeleted) {
    auto b = boardWith("unsaved work");
    writeFile(path(), bytesOf(*b));
    RecoveryCopy copy(path());
    b->setChanged(0);
    copy.update(*b, 0);
    copy.discard();
    ASSERT_TRUE(copy.exists()) << "a copy from an earlier run was deleted without asking";

    std::vector<std::string> kept;
    for (int i = 0; i < 3; ++i) {
        writeFile(path(), "copy " + std::to_string(i));
        RecoveryCopy again(path());
        std::string error;
        kept.push_back(again.keepAside(&error));
        ASSERT_FALSE(kept.back().empty()) << error;
        EXPECT_FALSE(again.exists());
    }
    // Three in (most likely) the same second: three distinct files, each with its own content.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(readFile(kept[i]), "copy " + std::to_string(i));
        EXPECT_EQ(kept[i].rfind(dir.path().toStdString() + "/recovery-", 0), 0u) << kept[i];
        EXPECT_EQ(kept[i].substr(kept[i].size() - 4), ".gwb");
    }
    EXPECT_EQ(entries(dir.path().toStdString()).size(), 3u);
}

// Running out of space while writing the copy: the previous copy stays whole, the reason is kept,
// and the next attempt waits for the interval instead of hammering the disk every second.
TEST(RecoveryFullDisk, PreviousCopySurvivesAFullDisk) {
    test::FullDisk disk;
    const std::string path = disk.file("recovery.gwb");
    const std::string result = disk.attempt([&] {
        RecoveryCopy copy(path);
        auto b = boardWith("small");
        b->setChanged(1);
        if (!copy.update(*b, 0)) return std::string("first write failed: ") + copy.lastError();
        const std::string before = readFile(path);
        b->captionList[0]->txt = std::string(3 * test::FullDisk::kBytes, 'x');
        if (copy.update(*b, 40000)) return std::string("wrote on a full disk");
        if (copy.lastError().empty()) return std::string("no reason kept");
        if (readFile(path) != before) return std::string("previous copy damaged");
        if (copy.update(*b, 41000)) return std::string("retried within the interval");
        b->captionList[0]->txt = "small again";
        if (!copy.update(*b, 70000)) return std::string("no retry after the interval");
        return "ok " + copy.lastError();
    });
    EXPECT_EQ(result, "ok ");
    EXPECT_EQ(disk.entries(), 1) << "temporary files left behind";
}

// ---- the editor ----

struct Dialogs : AppDialogs {
    std::deque<int> answers;
    QStringList questions, notices;
    int question(QWidget*, const QString& t) override {
        questions << t;
        if (answers.empty()) return -1;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    void notice(QWidget*, const QString& t, bool) override { notices << t; }
    QString openPath(QWidget*) override { return {}; }
    QString savePath(QWidget*, const QString&) override { return {}; }
    bool pickColor(QWidget*, int&, int&, int&) override { return false; }
};

// A private program folder (data/ and lang/ linked in) the editor works in.
class EditorRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = QDir::currentPath();
        for (const char* sub : {"data", "lang"}) QFile::link(program_ + "/" + sub, dir_.filePath(sub));
        QDir(dir_.path()).mkdir("ics");
        QDir::setCurrent(dir_.path());
    }
    void TearDown() override { QDir::setCurrent(program_); }

    std::unique_ptr<TApp> start(const std::shared_ptr<Dialogs>& d) {
        AppOptions o;
        o.splashMinMs = 0;
        o.showSplash = false;
        o.forceRaster = true;
        o.dialogs = d;
        return TApp::Create(o);
    }
    std::string here(const char* name) const { return dir_.filePath(name).toStdString(); }

    QTemporaryDir dir_;
    QString program_;
};

// The whole story: work, a crash, the question at the next start, restoring, saving.
TEST_F(EditorRecovery, CrashedWorkIsOfferedRestoredAndClearedBySaving) {
    registerBuiltinDrafts();
    std::string expected;
    {
        auto d = std::make_shared<Dialogs>();
        auto app = start(d);
        RecoveryGuard guard(*app, "recovery.gwb");
        EXPECT_FALSE(guard.offerRestore());
        EXPECT_TRUE(d->questions.isEmpty()) << "asked with no copy there";
        guard.poll(0);
        EXPECT_FALSE(QFile::exists("recovery.gwb")) << "a copy of a board without changes";
        app->board->addDevice(getDraft("$swich1"), 3, 4);
        app->board->setChanged(1);
        guard.poll(1000);
        ASSERT_TRUE(QFile::exists("recovery.gwb"));
        expected = bytesOf(*app->board);
        // The process dies here: no clean close.
        app->Destroy();
    }
    {
        auto d = std::make_shared<Dialogs>();
        d->answers = {1};
        auto app = start(d);
        RecoveryGuard guard(*app, "recovery.gwb");
        ASSERT_TRUE(guard.offerRestore());
        ASSERT_EQ(d->questions.size(), 1);
        EXPECT_EQ(d->questions[0], loc("{{dm_recover}}"));
        EXPECT_NE(d->questions[0].toStdString(), "dm_recover") << "the question has no text in the language";
        EXPECT_EQ(bytesOf(*app->board), expected);
        EXPECT_TRUE(app->board->isChanged()) << "restored work must count as unsaved";
        EXPECT_TRUE(app->lastSavepath.empty()) << "a save would go to the recovery copy";
        EXPECT_TRUE(QFile::exists("recovery.gwb")) << "the only copy went before the work was saved";

        ASSERT_EQ(app->menSave(here("mine.gwb")), 0);
        ASSERT_TRUE(app->lastSaveSucceeded());
        guard.poll(2000);
        EXPECT_FALSE(QFile::exists("recovery.gwb")) << "the copy outlived the save";
        EXPECT_EQ(readFile(here("mine.gwb")), expected);
        app->Destroy();
    }
}

// "No", a cancelled question and an unreadable copy all keep the copy aside; the board stays empty.
TEST_F(EditorRecovery, RefusedOrUnreadableCopyIsRenamedNotLost) {
    struct Case {
        const char* name;
        int answer;
        std::string content;
        bool tellsUser;
    } cases[] = {
        {"no", 0, bytesOf(*boardWith("work")), false},
        {"cancel", -1, bytesOf(*boardWith("work")), false},
        {"damaged copy", 1, std::string("\1garbage"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& e : entries(dir_.path().toStdString()))
            if (e.rfind("recovery", 0) == 0) std::filesystem::remove(here(e.c_str()));
        writeFile("recovery.gwb", c.content);
        auto d = std::make_shared<Dialogs>();
        d->answers = {c.answer};
        auto app = start(d);
        RecoveryGuard guard(*app, "recovery.gwb");
        EXPECT_FALSE(guard.offerRestore());
        EXPECT_EQ(d->questions.size(), 1);
        EXPECT_EQ(!d->notices.isEmpty(), c.tellsUser);
        EXPECT_FALSE(QFile::exists("recovery.gwb"));
        EXPECT_TRUE(app->board->deviceList.empty() && app->board->captionList.empty());
        std::vector<std::string> kept;
        for (const auto& e : entries(dir_.path().toStdString()))
            if (e.rfind("recovery-", 0) == 0) kept.push_back(e);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(readFile(here(kept[0].c_str())), c.content);
        app->Destroy();
    }
}

// Closing on purpose removes the copy; ending without the close command (a crash) keeps it.
TEST_F(EditorRecovery, CleanCloseRemovesTheCopy) {
    auto d = std::make_shared<Dialogs>();
    d->answers = {0};  // "save before closing?" - no
    auto app = start(d);
    RecoveryGuard guard(*app, "recovery.gwb");
    app->board->captionList.push_back(TCaption::Create());
    app->board->setChanged(1);
    guard.poll(0);
    ASSERT_TRUE(QFile::exists("recovery.gwb"));
    app->cmdClose();
    ASSERT_EQ(app->valid, 0);
    guard.closedCleanly();
    EXPECT_FALSE(QFile::exists("recovery.gwb"));
    guard.poll(60000);
    EXPECT_FALSE(QFile::exists("recovery.gwb")) << "written again after the close";
    app->Destroy();
}

}  // namespace
}  // namespace gw

int main(int argc, char** argv) {
    // Also when CTest lists the cases at build time, where there is no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
