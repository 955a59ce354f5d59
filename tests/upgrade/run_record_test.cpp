#include "upgrade/run_record.h"

#include <gtest/gtest.h>

namespace upgrade {
namespace {

using std::chrono::milliseconds;

TEST(RunRecord, EachStepSaysWhatItDidInNumbers) {
    RunStatistics run;
    run.backupFile = "D:\\Data\\shop_20240307140509.BAK";
    struct Case {
        const char* name;
        PhaseStatistics step;
        std::string line;
    };
    const Case cases[] = {
        {"backup", {"backup", milliseconds(2140)}, "Backup: D:\\Data\\shop_20240307140509.BAK (2.1 s)"},
        {"nothing", {"indexes", milliseconds(40)}, "Indexes: nothing to send (0.0 s)"},
        {"tables", {"table structure", milliseconds(830), 41, 1, 0, 0, 3, 2, 0},
         "Table structure: 3 tables created, 2 altered; 41 statements, 1 failed (0.8 s)"},
        {"one altered", {"table structure", milliseconds(10), 1, 0, 0, 0, 0, 1, 0},
         "Table structure: 1 table altered; 1 statement (0.0 s)"},
        {"modules", {"views", milliseconds(100), 4, 0, 0, 0, 0, 0, 2}, "Views: 2 re-created; 4 statements (0.1 s)"},
        {"rows", {"system data", milliseconds(64'200), 1310, 0, 12, 1204, 0, 0, 0},
         "System data: 1,204 rows; 1,310 statements, 12 failures passed over (1 min 4 s)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stepLine(c.step, run), c.line);
    }
}

TEST(RunRecord, TheSummaryAddsUpEveryStep) {
    RunStatistics run;
    run.phases = {{"table structure", milliseconds(0), 41, 1, 0, 0, 3, 2, 0},
                  {"functions", milliseconds(0), 2, 0, 0, 0, 0, 0, 1},
                  {"system data", milliseconds(0), 30, 2, 3, 1204, 0, 0, 0}};
    run.duration = milliseconds(12'400);
    EXPECT_EQ(summaryLine("shop", endedText(app::OperationOutcome::Completed), run),
              "Upgrade of shop completed: 3 tables created, 2 altered, 1 object re-created, 1,204 rows applied, "
              "3 statements failed, in 12.4 s");
}

}  // namespace
}  // namespace upgrade
