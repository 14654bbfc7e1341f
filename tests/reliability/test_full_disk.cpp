// Every save of user data on a full disk: the board file, an IC description and cfg.ini. Each must
// report the failure with the file's name and the cause, leave the file that was there exactly as it
// was, leave no temporary file behind, and save normally once there is room again.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "board/BoardEngine.h"
#include "board/Caption.h"
#include "ic/ICDescription.h"
#include "io/BoardFile.h"
#include "io/Settings.h"
#include "reliability/FullDisk.h"

namespace gw {
namespace {

using test::FullDisk;

// One writer: saves content of the given size to a path, answering "" or the error sentence.
struct Writer {
    const char* name;
    const char* file;
    std::function<std::string(const std::string& path, std::size_t bytes)> save;
};

std::string board(const std::string& path, std::size_t bytes) {
    auto b = TBoardEngine::Create();
    auto c = TCaption::Create();
    c->txt = std::string(bytes, 'b');
    b->captionList.push_back(c);
    std::string error;
    return writeToFile(*b, path, &error) ? std::string() : error;
}

std::string ic(const std::string& path, std::size_t bytes) {
    TICDescription d;
    d.Name = "Half adder";
    d.info = std::string(bytes, 'i');
    std::string error;
    return d.SaveToFile(path, &error) ? std::string() : error;
}

std::string settings(const std::string& path, std::size_t bytes) {
    Settings s(path);
    s.open();
    s.setLanguage(std::string(bytes, 'l'));
    std::string error;
    return s.save(&error) ? std::string() : error;
}

const Writer kWriters[] = {
    {"board file", "circuit.gwb", board},
    {"IC description", "Adder.ic", ic},
    {"settings", "cfg.ini", settings},
};

TEST(FullDisk, EverySaveKeepsTheOldFileAndSaysWhy) {
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        FullDisk disk;
        const std::string path = disk.file(w.file);
        ASSERT_EQ(w.save(path, 100), "");
        const std::string old = disk.read(w.file);
        ASSERT_FALSE(old.empty());

        const std::string result = disk.attempt([&] { return "failed: " + w.save(path, 3 * FullDisk::kBytes); });
        EXPECT_EQ(result.rfind("failed: ", 0), 0u) << result;
        EXPECT_NE(result, "failed: ") << "the save claimed success on a full disk";
        EXPECT_NE(result.find(path), std::string::npos) << result;
        EXPECT_NE(result.find(disk.mounted() ? "the disk is full" : "larger than this disk"), std::string::npos)
            << result;
        EXPECT_EQ(disk.read(w.file), old) << "the old file was damaged";
        EXPECT_EQ(disk.entries(), 1) << "a temporary file was left behind";

        // With room again the same writer saves, so the failure above came from the disk.
        EXPECT_EQ(w.save(path, 200), "");
        EXPECT_NE(disk.read(w.file), old);
        EXPECT_EQ(disk.entries(), 1);
    }
}

// A read-only folder (a mount, so it holds for root too): refused with the reason, nothing changed.
TEST(FullDisk, ReadOnlyDiskKeepsTheOldFileAndSaysWhy) {
    FullDisk disk;
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    for (const Writer& w : kWriters) ASSERT_EQ(w.save(disk.file(w.file), 50), "") << w.name;
    ASSERT_EQ(::mount(nullptr, disk.dir().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        const std::string old = disk.read(w.file);
        const std::string error = w.save(disk.file(w.file), 80);
        EXPECT_NE(error.find("read-only"), std::string::npos) << error;
        EXPECT_EQ(disk.read(w.file), old);
    }
    EXPECT_EQ(disk.entries(), 3);
}

}  // namespace
}  // namespace gw
