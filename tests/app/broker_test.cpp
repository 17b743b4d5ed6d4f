// The broker's answers, decided on its state alone.
#include "app/broker.h"

#include <gtest/gtest.h>

namespace {

using broker::BrokerState;

constexpr uint32_t kTest = broker::kCodeTestOnly;

uint32_t Code(uint32_t cls, int pane) { return cls | static_cast<uint32_t>(pane); }

class Broker : public ::testing::Test {
  protected:
    BrokerState s;
    int Ask(uint32_t code, const std::wstring& path) { return broker::Acquire(s, code, &path); }
    void Busy(int pane, int kind, const std::wstring& folder) {
        broker::StartJob(s, pane, 1, static_cast<location::LocationKind>(kind), folder);
    }
    // The notice of the pane's latest load.
    void Done(int pane) { EXPECT_TRUE(broker::JobDone(s, pane, broker::CurrentLoad(s, pane))); }
    broker::FileOpJob& Job(const std::wstring& first, const std::wstring& second, int mode) {
        s.job = std::make_unique<broker::FileOpJob>();
        s.job->firstFolder = first;
        s.job->secondFolder = second;
        s.job->mode = mode;
        return *s.job;
    }
};

TEST_F(Broker, PanesAreIdleUntilAJobStartsAndAgainWhenItIsDone) {
    EXPECT_EQ(broker::PaneIdle(s, 2), 1);
    Busy(1, 0, L"C:\\A");
    EXPECT_EQ(broker::PaneIdle(s, 0), 1);
    EXPECT_EQ(broker::PaneIdle(s, 1), 0);
    EXPECT_EQ(broker::PaneIdle(s, 2), 0);
    Done(1);
    EXPECT_EQ(broker::PaneIdle(s, 2), 1);
}

TEST_F(Broker, ANoticeOfAnEarlierLoadLeavesTheNewerLoadBusy) {
    // The second load is asked for before the first one's idle notice arrives.
    const uint32_t first = broker::StartJob(s, 1, 1, location::kFileSystemFolder, L"C:\\A");
    const uint32_t second = broker::StartJob(s, 1, 3, location::kFileSystemFolder, L"C:\\A");
    EXPECT_NE(first, second);
    EXPECT_EQ(broker::CurrentLoad(s, 1), second);
    EXPECT_FALSE(broker::JobDone(s, 1, first)) << "the stale notice is dropped";
    EXPECT_EQ(broker::PaneIdle(s, 1), 0);
    EXPECT_EQ(broker::Acquire(s, Code(broker::kClassPath, 1), nullptr), 0) << "operations still wait";
    EXPECT_TRUE(broker::JobDone(s, 1, 0)) << "a notice that ends no load is delivered";
    EXPECT_EQ(broker::PaneIdle(s, 1), 0);
    // Loads are numbered across both panes: the other pane's notice does not end this one.
    const uint32_t other = broker::StartJob(s, 0, 1, location::kFileSystemFolder, L"C:\\B");
    EXPECT_FALSE(broker::JobDone(s, 1, other));
    EXPECT_EQ(broker::PaneIdle(s, 1), 0);
    EXPECT_TRUE(broker::JobDone(s, 1, second));
    EXPECT_EQ(broker::PaneIdle(s, 1), 1);
    EXPECT_EQ(broker::PaneIdle(s, 0), 0);
}

TEST_F(Broker, LoadNumbersSkipZeroWhenTheyWrap) {
    s.lastLoad = 0xFFFFFFFF;
    EXPECT_EQ(broker::StartJob(s, 0, 1, location::kFileSystemFolder, L"C:\\A"), 1u);
}

TEST_F(Broker, ClassOneRefusesABusyPaneOrAPathInTheActiveFolder) {
    EXPECT_EQ(Ask(Code(broker::kClassPath, 0), L"C:\\A\\x.jpg"), 1);
    Busy(0, 0, L"C:\\A");
    EXPECT_EQ(Ask(Code(broker::kClassPath, 0), L"C:\\B\\x.jpg"), 0);
    EXPECT_EQ(Ask(Code(broker::kClassPath, 1), L"C:\\B\\x.jpg"), 1);
    Job(L"D:\\src", L"D:\\dst", 0); // active folder: the second
    EXPECT_EQ(Ask(Code(broker::kClassPath, 1), L"d:\\DST\\x.jpg"), 0);
    EXPECT_EQ(Ask(Code(broker::kClassPath, 1), L"D:\\src\\x.jpg"), 1);
    s.job->mode = 1; // now the first
    EXPECT_EQ(Ask(Code(broker::kClassPath, 1), L"D:\\src\\x.jpg"), 0);
}

TEST_F(Broker, ClassTwoProtectsBusyPanesAndBothJobFolders) {
    Busy(0, 0, L"C:\\Photos\\2020");     // a folder inside the path
    Busy(1, 2, L"C:\\Archive\\a.zip");   // an archive: only an equal path counts
    EXPECT_EQ(Ask(broker::kClassFolder, L"C:\\Photos"), 0);
    EXPECT_EQ(Ask(broker::kClassFolder, L"C:\\Photos\\2020"), 0);
    EXPECT_EQ(Ask(broker::kClassFolder, L"C:\\Photos\\2021"), 1);
    EXPECT_EQ(Ask(broker::kClassFolder, L"C:\\Archive\\a.zip"), 0);
    EXPECT_EQ(Ask(broker::kClassFolder, L"C:\\Archive"), 1);
    Done(0); // idle panes do not count
    EXPECT_EQ(Ask(broker::kClassFolder, L"C:\\Photos"), 1);
    Job(L"E:\\in\\sub", L"F:\\out", 0);
    EXPECT_EQ(Ask(broker::kClassFolder, L"E:\\in"), 0);       // the first folder is under the path
    EXPECT_EQ(Ask(broker::kClassFolder, L"F:\\out\\x"), 0);   // the path is under the active folder
    EXPECT_EQ(Ask(broker::kClassFolder, L"E:\\in\\sub\\x"), 1);
}

TEST_F(Broker, ClassTwoDoesNotCompareShellLocations) {
    Busy(0, location::kShellFolder, L"C:\\Photos");
    EXPECT_EQ(Ask(broker::kClassFolder, L"C:\\"), 1);
}

TEST_F(Broker, ClassThreeRefusesBusyShellOrJobFolderPanes) {
    broker::StartJob(s, 0, 1, location::kFileSystemFolder, L"C:\\Work\\in");
    Done(0);
    EXPECT_EQ(Ask(Code(broker::kClassPane, 0), L""), 1);
    Job(L"X:\\a", L"C:\\Work", 0);
    EXPECT_EQ(Ask(Code(broker::kClassPane, 0), L""), 0);
    s.job.reset();
    broker::StartJob(s, 1, 1, location::kShellFolder, L"::{645FF040}");
    Done(1);
    EXPECT_EQ(Ask(Code(broker::kClassPane, 1), L""), 0); // a shell folder, even when idle
    Busy(0, 0, L"C:\\Other");
    EXPECT_EQ(Ask(Code(broker::kClassPane, 0), L""), 0);
}

TEST_F(Broker, ClassFourNeedsTheWholeProgramIdle) {
    EXPECT_EQ(Ask(broker::kClassProgram, L""), 1);
    Busy(1, 0, L"C:\\A");
    EXPECT_EQ(Ask(broker::kClassProgram, L""), 0);
    Done(1);
    Job(L"A", L"B", 0);
    EXPECT_EQ(Ask(broker::kClassProgram, L""), 0);
}

TEST_F(Broker, TheLockFollowsAdmissionsButNotTestsOrRefusals) {
    EXPECT_EQ(Ask(Code(broker::kClassPane, 1) | kTest, L"C:\\A"), 1);
    EXPECT_EQ(s.lock, 0u);
    EXPECT_EQ(Ask(Code(broker::kClassPane, 1), L"C:\\A"), 1);
    EXPECT_EQ(s.lock, 7u);
    Busy(1, 0, L"C:\\A");
    EXPECT_EQ(Ask(Code(broker::kClassPane, 1), L"C:\\A"), 0);
    EXPECT_EQ(s.lock, 0u);
    EXPECT_EQ(Ask(Code(broker::kClassPath, 0), L"C:\\A"), 1);
    EXPECT_EQ(broker::Acquire(s, 0, nullptr), 0);
    EXPECT_EQ(s.lock, 0u);
}

TEST_F(Broker, ANullPathReusesThePreviousOne) {
    Job(L"Q:\\a", L"Q:\\b", 0);
    EXPECT_EQ(Ask(broker::kClassFolder, L"Q:\\b\\c"), 0);
    EXPECT_EQ(broker::Acquire(s, broker::kClassFolder, nullptr), 0);
    s.job.reset();
    EXPECT_EQ(broker::Acquire(s, broker::kClassFolder, nullptr), 1);
    EXPECT_EQ(s.lastPath, L"Q:\\b\\c");
}

TEST_F(Broker, UnknownClassesAreRefused) {
    for (uint32_t cls : {0u, 10u, 12u, 14u})
        EXPECT_EQ(Ask(cls, L"C:\\A"), 0) << cls;
}

TEST_F(Broker, BusyFlagTakeTestClear) {
    EXPECT_EQ(broker::BusyFlag(s, 2), 1);
    EXPECT_EQ(broker::BusyFlag(s, 1), 1);
    EXPECT_EQ(broker::BusyFlag(s, 1), 0);
    EXPECT_EQ(broker::BusyFlag(s, 2), 0);
    EXPECT_EQ(broker::BusyFlag(s, 0), 0);
    EXPECT_EQ(broker::BusyFlag(s, 2), 1);
}

TEST_F(Broker, PathInFileOpAnswersOneWithoutAJob) {
    const std::wstring path = L"C:\\A";
    Busy(0, location::kShellFolder, L"C:\\A");
    EXPECT_EQ(broker::PathInFileOp(s, &path, 0), 1);
    EXPECT_EQ(broker::PathInFileOp(s, nullptr, 0), 1);
}

TEST_F(Broker, PathInFileOpWithAJob) {
    Job(L"C:\\Src", L"C:\\Dst", 0);
    const std::wstring inside = L"C:\\Dst\\x", outside = L"C:\\Src\\x";
    EXPECT_EQ(broker::PathInFileOp(s, &inside, 0), 0);
    EXPECT_EQ(broker::PathInFileOp(s, &outside, 0), 1);
    broker::StartJob(s, 0, 1, location::kFileSystemFolder, L"C:\\Src\\deeper");
    EXPECT_EQ(broker::PathInFileOp(s, nullptr, 0), 0); // busy
    Done(0);
    EXPECT_EQ(broker::PathInFileOp(s, nullptr, 0), 0); // under the first folder
    broker::StartJob(s, 0, 1, location::kFileSystemFolder, L"C:\\Elsewhere");
    Done(0);
    EXPECT_EQ(broker::PathInFileOp(s, nullptr, 0), 1);
    EXPECT_EQ(broker::PathInFileOp(s, nullptr, 1), 1); // a pane that never showed anything
}

TEST_F(Broker, PathFreeNeedsAnEqualBusyFolder) {
    Busy(0, 0, L"C:\\Photos");
    EXPECT_EQ(broker::PathFree(s, L"c:\\photos"), 0);
    EXPECT_EQ(broker::PathFree(s, L"C:\\Photos\\sub"), 1); // equality, not containment
    Done(0);
    EXPECT_EQ(broker::PathFree(s, L"C:\\Photos"), 1);
    Job(L"A:\\x", L"B:\\y", 1); // active: the first folder
    EXPECT_EQ(broker::PathFree(s, L"A:\\x\\z"), 0);
    EXPECT_EQ(broker::PathFree(s, L"B:\\y\\z"), 1);
}

} // namespace
