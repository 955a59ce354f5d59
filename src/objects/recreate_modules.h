#pragma once

#include <string>
#include <string_view>

#include "db/error.h"
#include "db/value.h"
#include "upgrade/upgrade_run.h"

namespace objects {

// The functions, views and procedures of the definitions store, each dropped from the
// target when it is there and created again from its stored text, on every run. Each
// phase walks its store table in the phase row loop with CurrentObject naming the object.
// While FXDebug is ticked a question comes first, and No leaves the object alone (nothing
// is sent for it). The existence query and the drop end the run when they fail; the drop
// is logged. The creation text runs in ask-on-error execution and is not logged.

enum class ModuleKind { Function, View, Procedure };

upgrade::UpgradePhase functionsPhase();
upgrade::UpgradePhase viewsPhase();
upgrade::UpgradePhase proceduresPhase();

// The debug question. Examples: (Function, fnX) -> "Deseja processar a FUNCTION: " + LF CR
// LF CR + "fnX"; (Procedure, spX) -> "Deseja processar o STORED PROCEDURE: spX ?"
std::string moduleQuestion(ModuleKind kind, std::string_view name);

// Whether the target has the object; the name is a T-SQL text literal (null for a NULL or
// empty name) with no blank before ORDER BY. Examples:
// (Function, fnX) -> SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON
//   sysobjects.id = syscomments.id WHERE sysobjects.xtype = 'FN' AND name = 'fnX'ORDER BY
//   sysobjects.name
// (Procedure, spX) -> SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE
//   sysobjects.xtype = 'P' AND sysobjects.status = 1610612736 AND sysobjects.name = 'spX'
std::string moduleExistenceQuery(ModuleKind kind, const db::Value& name);

// DROP FUNCTION fnX, DROP VIEW vwX, DROP PROCEDURE spX: the name unbracketed, unless it is
// no regular identifier (vwO'Neil -> DROP VIEW [vwO'Neil]).
std::string dropModuleStatement(ModuleKind kind, std::string_view name);

// The question after a view's creation text failed: "Erro: " + description + LF CR LF CR +
// "Deseja continuar?" + LF CR + "View: " + name.
std::string viewFailureQuestion(const db::Error& error, std::string_view view);

inline constexpr const char* kFunctionsProgress = "A carregar definições: Functions ...";
inline constexpr const char* kViewsProgress = "A carregar definições: Views ...";
inline constexpr const char* kProceduresProgress = "A carregar definições: Stored Procedures ...";

}  // namespace objects
