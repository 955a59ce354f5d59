// The small parts of a fleet run: the event lines between a target's process and the
// fleet, the guard statements a watched connection recognises, the ledger of guards, the
// status line and the names of results folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fleet/fleet_run.h"
#include "fleet/guard_ledger.h"
#include "fleet/guard_watch.h"
#include "fleet/target_events.h"
#include "fleet/upgrade_guard.h"
#include "temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using fleet::TargetEvent;

TEST(TargetEvents, EveryKindTravelsWholeThroughOneLine) {
    const TargetEvent events[] = {
        {TargetEvent::Kind::Phase, "A carregar definições: Indexes ...", {}, 0, 0},
        {TargetEvent::Kind::Progress, {}, {}, 120, 400},
        {TargetEvent::Kind::Guard, "raised", {}, 0, 0},
        {TargetEvent::Kind::Counts, {}, {}, 1203, 2},
        {TargetEvent::Kind::End, "failed", "Erro:\ta\\b\n\nObjecto: x", 0, 0},
    };
    for (const TargetEvent& event : events) {
        const std::string line = fleet::encodeEvent(event);
        ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
        const auto back = fleet::decodeEvent(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(back) << line;
        EXPECT_EQ(back->kind, event.kind);
        EXPECT_EQ(back->text, event.text);
        EXPECT_EQ(back->detail, event.detail);
        EXPECT_EQ(back->first, event.first);
        EXPECT_EQ(back->second, event.second);
    }
    EXPECT_EQ(fleet::encodeEvent(events[1]), "progress\t120\t400\n");
    for (const char* broken : {"", "progress\t1", "progress\tx\t2", "counts\t1\t2\t3", "hello\tthere"})
        EXPECT_FALSE(fleet::decodeEvent(broken)) << broken;
}

TEST(GuardChange, OnlyTheGuardUpdatesCount) {
    EXPECT_EQ(fleet::guardChange("UPDATE tbVersao SET upgrading = 1"), fleet::GuardEvent::Raised);
    EXPECT_EQ(fleet::guardChange("update  TBVERSAO set upgrading=0\n"), fleet::GuardEvent::Released);
    EXPECT_FALSE(fleet::guardChange("UPDATE tbVersao SET upgrading = 2"));
    EXPECT_FALSE(fleet::guardChange("UPDATE tbVersao SET versao = 1"));
    EXPECT_FALSE(fleet::guardChange("SELECT TOP 1 * FROM tbVersao"));
}

TEST(GuardLedger, TheLastRecordOfADatabaseIsFoundWhateverTheServersSpelling) {
    testsupport::TempDir dir{"ledger"};
    const fleet::GuardLedger ledger(fleet::guardLedgerPath(dir.path()));
    EXPECT_FALSE(ledger.last("db1", "shop"));
    ASSERT_TRUE(ledger.record(fleet::GuardEvent::Raised, "DB1", "Shop"));
    ASSERT_TRUE(ledger.record(fleet::GuardEvent::Raised, "db1", "other"));
    const auto record = ledger.last("db1,1433", "shop");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->event, fleet::GuardEvent::Raised);
    EXPECT_EQ(record->pid, ::getpid());
    EXPECT_THAT(fleet::describeRecord(*record),
                MatchesRegex("raised by .+@.* \\(.+, process [0-9]+\\) at "
                             "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} [-+][0-9]{4}"));
    ASSERT_TRUE(ledger.record(fleet::GuardEvent::Cleared, "db1", "SHOP"));
    EXPECT_EQ(ledger.last("db1", "shop")->event, fleet::GuardEvent::Cleared);
    EXPECT_FALSE(fleet::GuardLedger(dir / "nowhere" / "x.log").record(fleet::GuardEvent::Raised, "a", "b"));
}

TEST(GuardStatusLine, BeginsWithRaisedOrNotRaisedAndSaysWhoRaisedIt) {
    fleet::GuardRecord raised{"2024-05-02 10:14:03 +0100", fleet::GuardEvent::Raised, "db1", "shop07",
                              "ana@build01", "sqlupgrade-cli", 4242};
    fleet::GuardRecord released = raised;
    released.event = fleet::GuardEvent::Released;
    using S = fleet::GuardState;
    const struct {
        fleet::GuardReading reading;
        std::optional<fleet::GuardRecord> record;
        std::string line;
    } cases[] = {
        {{S::Raised, "1"}, raised,
         "raised: upgrading = 1 in tbVersao of shop07 on db1; raised by ana@build01 (sqlupgrade-cli, process 4242) "
         "at 2024-05-02 10:14:03 +0100"},
        {{S::Raised, "1"}, released,
         "raised: upgrading = 1 in tbVersao of shop07 on db1; not by a run recorded in L (another machine, another "
         "program folder or the application set it); the last record there: released by ana@build01 "
         "(sqlupgrade-cli, process 4242) at 2024-05-02 10:14:03 +0100"},
        {{S::Raised, "7"}, std::nullopt,
         "raised: upgrading = 7 in tbVersao of shop07 on db1; not by a run recorded in L (another machine, another "
         "program folder or the application set it)"},
        {{S::Lowered, "0"}, std::nullopt, "not raised: upgrading = 0 in tbVersao of shop07 on db1"},
        {{S::Off, ""}, std::nullopt,
         "not raised: upgrading is null in tbVersao of shop07 on db1, so its upgrades take no guard"},
        {{S::NoRow, ""}, std::nullopt, "not raised: tbVersao of shop07 on db1 has no row, so its upgrades take no guard"},
    };
    for (const auto& c : cases) EXPECT_EQ(fleet::guardStatusLine(c.reading, "db1", "shop07", c.record, "L"), c.line);
}

TEST(ResultsFolderName, KeepsPlainCharactersAndNeverRepeats) {
    std::vector<std::string> taken;
    EXPECT_EQ(fleet::resultsFolderName("db1,1433/shop", taken), "db1_1433_shop");
    EXPECT_EQ(fleet::resultsFolderName("db1 1433/shop", taken), "db1_1433_shop-2");
    EXPECT_EQ(fleet::resultsFolderName("Loja Três", taken), "Loja_Três");
    EXPECT_EQ(fleet::resultsFolderName("..", taken), "_..");
    EXPECT_EQ(fleet::resultsFolderName("", taken), "_");
}

}  // namespace
