#include "engine/LoggerTable.h"
#include "engine/UiSeams.h"

#include <gtest/gtest.h>

namespace {

struct Answerer : IMessages {
    bool answer = true;
    int questions = 0;
    std::string lastQuestion;
    void error(const std::string&) override {}
    void info(const std::string&) override {}
    bool question(const std::string& text) override {
        ++questions;
        lastQuestion = text;
        return answer;
    }
};

struct Rows : IRowNotifications {
    int built = 0, removed = 0, cleared = 0;
    void buildRows(const LoggerTable&) override { ++built; }
    void removeRows() override { ++removed; }
    void clearRowValues() override { ++cleared; }
};

LoggerTable filledTable(Answerer& a, Rows& r) {
    LoggerTable t;
    t.setMessages(&a);
    t.setRowNotifications(&r);
    t.appendLogger("D0001", "one");
    t.appendLogger("D0002", "");
    t.AllocateTable();
    auto& l = t.loggers[0];
    l.StringSerial = 77;
    l.StringType = 3;
    l.SensorCodes = {1, 2};
    l.SensorReadings.resize(2);
    const int16_t readings[] = {10, 20};
    t.appendRecord(0, 1000.5, 365, readings, 2);
    t.appendRecord(0, 1000.6, 364, readings, 2);
    return t;
}

} // namespace

TEST(LoggerTable, ConfirmationGuardsLoadedDataAndDecliningChangesNothing) {
    Answerer a;
    Rows r;
    LoggerTable t = filledTable(a, r);
    ASSERT_EQ(t.LoadedRecordCount, 2);
    a.answer = false;
    EXPECT_FALSE(t.ResetTable(true));
    EXPECT_FALSE(t.ClearLoadedData(true));
    EXPECT_EQ(a.questions, 2);
    EXPECT_EQ(a.lastQuestion, "Действие приведет к потере загруженных данных.\r\nПродолжить?");
    EXPECT_EQ(t.LoggerCount, 2);
    EXPECT_EQ(t.LoadedRecordCount, 2);
    EXPECT_EQ(r.removed + r.cleared, 0);
    EXPECT_TRUE(t.invariantsHold());
}

TEST(LoggerTable, NothingIsAskedWithoutLoadedRecords) {
    Answerer a;
    Rows r;
    LoggerTable t;
    t.setMessages(&a);
    t.setRowNotifications(&r);
    t.appendLogger("D0001", "x");
    t.AllocateTable();
    EXPECT_TRUE(t.ClearLoadedData(true));
    EXPECT_TRUE(t.ResetTable(true));
    EXPECT_EQ(a.questions, 0);
    EXPECT_EQ(t.LoggerCount, 0);
    EXPECT_EQ(r.built, 1);
    EXPECT_EQ(r.removed, 1);
}

TEST(LoggerTable, ClearLoadedDataKeepsIdentityButRemovesPerSensorLists) {
    Answerer a;
    Rows r;
    LoggerTable t = filledTable(a, r);
    t.loggers[0].LoggerState = TaskDone;
    EXPECT_TRUE(t.ClearLoadedData(true));
    const auto& l = t.loggers[0];
    EXPECT_EQ(l.LoggerName, "D0001");
    EXPECT_EQ(l.LoggerComment, "one");
    EXPECT_EQ(l.LoggerState, TaskDone);
    EXPECT_EQ(l.StringSerial, 77);
    EXPECT_EQ(l.StringType, 3);
    EXPECT_TRUE(l.SensorCodes.empty());
    EXPECT_TRUE(l.SensorReadings.empty());
    EXPECT_TRUE(l.RecordTimes.empty());
    EXPECT_EQ(t.LoadedRecordCount, 0);
    EXPECT_EQ(r.cleared, 1);
    EXPECT_TRUE(t.invariantsHold());
}

TEST(LoggerTable, RecordsStayInStepAndDroppingLowersTheCount) {
    Answerer a;
    Rows r;
    LoggerTable t = filledTable(a, r);
    const int16_t wrongWidth[] = {1, 2, 3};
    t.appendRecord(0, 1001.0, 1, wrongWidth, 3); // refused: would break the parallel lists
    t.appendRecord(5, 1001.0, 1, wrongWidth, 2); // no such logger
    EXPECT_EQ(t.LoadedRecordCount, 2);
    EXPECT_TRUE(t.invariantsHold());
    t.dropRecords(0);
    EXPECT_EQ(t.LoadedRecordCount, 0);
    EXPECT_EQ(t.loggers[0].SensorReadings.size(), 2u);
    EXPECT_TRUE(t.invariantsHold());
}

TEST(LoggerTable, StateLooks) {
    EXPECT_STREQ(stateLook(TaskDone).hint, "Задача выполнена");
    EXPECT_EQ(stateLook(NotFound).r, 255);
    EXPECT_EQ(stateLook(PartlyLoaded).g, 128);
    EXPECT_STREQ(stateLook(99).hint, "Логгер не опрашивался");
}
