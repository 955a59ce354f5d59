#include "capture/catalog_phase.h"

namespace capture {

void runCatalogPhase(CaptureRun& run, const CatalogPhase& phase) {
    db::Recordset list =
        run.server.open(phase.catalogQuery, db::CursorType::Static, db::LockType::ReadOnly);
    const long count = db::countRecords(list);
    if (count < 1) {
        list.close();
        return;
    }
    app::showPhaseProgress(run.form, run.host, phase.progressText, count);

    for (const std::string& table : phase.storeTables) run.store.execute("DELETE FROM " + table);
    while (!list.eof()) {
        phase.handleRecord(run, list);
        list.moveNext();
        run.form.ProgressBar1.advance();
    }
    list.close();
}

}  // namespace capture
