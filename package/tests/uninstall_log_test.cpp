// The uninstall log's records through a saver, and reading them back as the uninstaller
// does: long paths fill their record, the screensaver tag stands alone, and a damaged log
// is refused rather than half read.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "package/uninstall_log.h"
#include "plugin_frame/engine_control.h"

namespace {

class MemorySaver : public EngineFileSaver {
public:
    bool OpenFile(const char*, int) override { return true; }
    void SaveTag(const char* tag) override { bytes.append(tag, 4); }
    void SaveBlockSize(uint32_t n) override { bytes.append(reinterpret_cast<const char*>(&n), 4); }
    void SaveDataToFile(const void* data, uint32_t n) override {
        bytes.append(static_cast<const char*>(data), n);
    }
    bool CloseFile() override { return true; }
    void Destroy() override {}
    std::string bytes;
};

std::optional<UninstallLog> Parse(const std::string& bytes) {
    return ParseUninstallLog(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

class UninstallLogTest : public ::testing::Test {
protected:
    UninstallLogTest() {
        Add(files_, "C:\\Demo\\VantrelViewer.exe");
        Add(files_, std::string(300, 'x'));  // longer than a record
        Add(folders_, "C:\\Demo\\");
        Add(folders_, "C:\\Demo\\channels\\");
    }
    ~UninstallLogTest() override {
        for (PointerArray* list : {&files_, &folders_}) {
            for (int32_t i = 0; i < list->Count(); ++i) delete[] static_cast<char*>(list->Get(i));
            list->Clear();
        }
    }
    static void Add(PointerArray& list, const std::string& text) {
        char* copy = new char[text.size() + 1];
        std::memcpy(copy, text.c_str(), text.size() + 1);
        list.Add(copy);
    }

    PointerArray files_;
    PointerArray folders_;
};

TEST_F(UninstallLogTest, RecordsReadBackInTheirOrder) {
    MemorySaver saver;
    WriteUninstallRecords(saver, files_, folders_, "Demo", false);
    EXPECT_EQ(saver.bytes.size(), 2 * 12 + 5 * (8 + 259u));  // two counts, five texts
    const std::optional<UninstallLog> log = Parse(saver.bytes);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->files, (std::vector<std::string>{"C:\\Demo\\VantrelViewer.exe", std::string(259, 'x')}));
    EXPECT_EQ(log->folders, (std::vector<std::string>{"C:\\Demo\\channels\\", "C:\\Demo\\"}));
    EXPECT_EQ(log->projectName, "Demo");
    EXPECT_FALSE(log->skipTag);

    MemorySaver withSkip;
    WriteUninstallRecords(withSkip, files_, folders_, "Demo", true);
    EXPECT_EQ(withSkip.bytes, saver.bytes + "UNSK");
    ASSERT_TRUE(Parse(withSkip.bytes));
    EXPECT_TRUE(Parse(withSkip.bytes)->skipTag);
}

TEST_F(UninstallLogTest, DamagedLogIsRefused) {
    MemorySaver saver;
    WriteUninstallRecords(saver, files_, folders_, "Demo", false);
    for (size_t cut = 0; cut < saver.bytes.size(); ++cut)
        EXPECT_FALSE(Parse(saver.bytes.substr(0, cut))) << cut;
    EXPECT_FALSE(Parse(saver.bytes + "x"));
    std::string bigCount = saver.bytes;
    bigCount[8] = char(0xFF);  // F claims 255 more files than there are
    EXPECT_FALSE(Parse(bigCount));
}

}  // namespace
