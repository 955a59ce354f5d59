#include "capture/catalog_phase.h"

namespace capture {

void runCatalogPhase(CaptureRun& run, const CatalogPhase& phase) {
    db::Recordset list =
        run.server.open(phase.catalogQuery, db::CursorType::Static, db::LockType::ReadOnly);
    long count = 0;
    if (!list.eof()) {
        list.moveLast();
        list.moveFirst();
        count = list.recordCount();
    }
    if (count < 1) {
        list.close();
        return;
    }
    run.form.FXEvolucao.caption = phase.progressText;
    run.form.FXEvolucao.visible = true;
    run.form.ProgressBar1.max = static_cast<int>(count);
    run.form.ProgressBar1.value = 0;
    run.host.repaint();
    run.host.pumpEvents();

    run.store.execute("DELETE FROM " + phase.storeTable);
    while (!list.eof()) {
        phase.handleRecord(run, list);
        list.moveNext();
        run.form.ProgressBar1.advance();
    }
    list.close();
}

}  // namespace capture
