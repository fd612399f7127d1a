#include "tests/win/test_support.h"

// Each test starts with a fresh simulator and no settings file, and ends with the main window closed, failed or not.
struct FreshStart : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { ResetSimulator(); RemoveSettingsFile(); }
    void OnTestEnd(const testing::TestInfo&) override { EndTest(); }
};

int main(int argc, char** argv)
{
    AppInstance = GetModuleHandleA(nullptr);
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshStart);
    return RUN_ALL_TESTS();
}
