#include "upgrade/phase_row_loop.h"

namespace upgrade {

void consumeRow(UpgradeRun& run, db::Recordset& rows) {
    rows.moveNext();
    run.form.ProgressBar1.advance();
}

void cancelRun(UpgradeRun& run, db::Recordset* phaseRecordset) {
    run.form.Command2.caption = app::kUpgradeCaption;
    run.form.Command2.enabled = true;
    run.host.repaint();
    if (phaseRecordset && phaseRecordset->isOpen()) phaseRecordset->close();
    if (run.form.UpgradeGuardActive) run.target.execute("UPDATE tbVersao SET upgrading = 0");
    run.target.close();
    run.store.close();
    throw RunCancelled{};
}

void runPhaseRowLoop(UpgradeRun& run, const RowPhase& phase) {
    db::Recordset rows = phase.open(run);
    const long count = db::countRecords(rows);
    if (count < 1) {
        rows.close();
        return;
    }
    app::showPhaseProgress(run.form, run.host, phase.progressText, count);

    while (!rows.eof()) {
        run.host.repaint();
        run.host.pumpEvents();
        if (run.form.CancelRequested) cancelRun(run, &rows);
        AfterRow after = AfterRow::MoveNext;
        try {
            after = phase.handleRow(run, rows);
        } catch (const RunCancelled&) {
            throw;
        } catch (...) {
            run.failedOnPhaseRow = rows.isOpen() && !rows.eof();
            throw;
        }
        if (after == AfterRow::MoveNext) consumeRow(run, rows);
    }
    rows.close();
}

}  // namespace upgrade
