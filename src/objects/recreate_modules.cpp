#include "objects/recreate_modules.h"

#include "store/sql_value.h"
#include "upgrade/catalog_answer.h"
#include "upgrade/phase_row_loop.h"

namespace objects {
namespace {

using upgrade::AfterRow;
using upgrade::ExecutionMode;
using upgrade::UpgradeRun;

// The status of the procedures the phase finds: created with ANSI_NULLS and
// QUOTED_IDENTIFIER on.
constexpr std::int64_t kProcedureStatus = 1610612736;

// What tells the three phases apart besides the builders' texts.
struct ModulePhase {
    ModuleKind kind;
    const char* storeQuery;
    const char* progressText;
};

// Whether the debug question, when FXDebug is ticked, is answered Yes.
bool wanted(UpgradeRun& run, ModuleKind kind, const std::string& name) {
    if (!run.form.FXDebug.ticked()) return true;
    return run.host.messageBox(moduleQuestion(kind, name), app::mb::kYesNo | app::mb::kQuestion,
                               run.form.caption) == app::mb::kAnswerYes;
}

// One stored object: dropped when the target has it (logged), then created from its text.
AfterRow recreateModule(UpgradeRun& run, db::Recordset& rows, ModuleKind kind) {
    const db::Value name = rows.field("nome").value();
    run.currentObject.clear();
    if (!name.isNull()) run.currentObject = name.toText();
    const std::string object = run.currentObject;
    if (!wanted(run, kind, object)) return AfterRow::MoveNext;

    const bool exists = upgrade::catalogFinds(
        run,
        [&](catalog::Model& model) {
            const std::string text = name.toText();
            switch (kind) {
                case ModuleKind::Function:
                    return model.hasObject(text, "FN");
                case ModuleKind::View:
                    return model.hasObject(text, "V");
                case ModuleKind::Procedure:
                    break;
            }
            return model.hasObject(text, "P", kProcedureStatus);
        },
        moduleExistenceQuery(kind, name));
    const catalog::Change change = catalog::Change::ofObject(object);
    if (exists) {
        const std::string drop = dropModuleStatement(kind, object);
        run.currentStatement = drop;
        run.statements.execute(drop, ExecutionMode::AbortOnError, change);
        run.statements.log(drop);
    }

    run.currentStatement = rows.field("descrit").value().toText();
    std::optional<db::Error> failed;
    if (kind == ModuleKind::View) {
        failed = run.statements.execute(
            run.currentStatement, ExecutionMode::AskOnError, change,
            [&object](const db::Error& error) { return viewFailureQuestion(error, object); });
    } else {
        failed = run.statements.execute(run.currentStatement, ExecutionMode::AskOnError, change);
    }
    if (!failed) ++run.statistics.current().objectsRecreated;
    return AfterRow::MoveNext;
}

upgrade::UpgradePhase modulePhase(const char* name, ModulePhase phase) {
    return {name, nullptr, [phase](UpgradeRun& run) {
                upgrade::runPhaseRowLoop(run, {phase.progressText,
                                               [phase](UpgradeRun& r) {
                                                   return r.store.open(phase.storeQuery,
                                                                       db::CursorType::Static,
                                                                       db::LockType::ReadOnly);
                                               },
                                               [phase](UpgradeRun& r, db::Recordset& rows) {
                                                   return recreateModule(r, rows, phase.kind);
                                               }});
                return true;
            }};
}

// SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id =
// syscomments.id WHERE sysobjects.xtype = 'V' AND name = 'vwX'ORDER BY sysobjects.name
std::string chunkedModuleQuery(const char* xtype, const std::string& quotedName) {
    return std::string(
               "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = "
               "syscomments.id WHERE sysobjects.xtype = '") +
           xtype + "' AND name = " + quotedName + "ORDER BY sysobjects.name";
}

}  // namespace

std::string moduleQuestion(ModuleKind kind, std::string_view name) {
    const std::string breaks = std::string(app::kLfCr) + app::kLfCr;
    switch (kind) {
        case ModuleKind::Function:
            return "Deseja processar a FUNCTION: " + breaks + std::string(name);
        case ModuleKind::View:
            return "Deseja processar a VIEW: " + breaks + std::string(name);
        case ModuleKind::Procedure:
            break;
    }
    return "Deseja processar o STORED PROCEDURE: " + std::string(name) + " ?";
}

std::string moduleExistenceQuery(ModuleKind kind, const db::Value& name) {
    const std::string quoted = store::SQLValueForServer(name, store::kSqlText);
    switch (kind) {
        case ModuleKind::Function:
            return chunkedModuleQuery("FN", quoted);
        case ModuleKind::View:
            return chunkedModuleQuery("V", quoted);
        case ModuleKind::Procedure:
            break;
    }
    return "SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE sysobjects.xtype = 'P' AND "
           "sysobjects.status = 1610612736 AND sysobjects.name = " +
           quoted;
}

std::string dropModuleStatement(ModuleKind kind, std::string_view name) {
    const char* keyword = kind == ModuleKind::Function ? "DROP FUNCTION "
                          : kind == ModuleKind::View   ? "DROP VIEW "
                                                       : "DROP PROCEDURE ";
    return keyword + store::NameForStatement(name);
}

std::string viewFailureQuestion(const db::Error& error, std::string_view view) {
    return upgrade::defaultQuestionText(error) + app::kLfCr + "View: " + std::string(view);
}

upgrade::UpgradePhase functionsPhase() {
    return modulePhase("functions",
                       {ModuleKind::Function, "SELECT * FROM tbFunctions ORDER BY function_id",
                        kFunctionsProgress});
}

upgrade::UpgradePhase viewsPhase() {
    return modulePhase(
        "views", {ModuleKind::View, "SELECT * FROM tbViews ORDER BY view_id", kViewsProgress});
}

upgrade::UpgradePhase proceduresPhase() {
    return modulePhase("stored procedures",
                       {ModuleKind::Procedure, "SELECT * FROM tbProcedures ORDER BY procedure_id",
                        kProceduresProgress});
}

}  // namespace objects
