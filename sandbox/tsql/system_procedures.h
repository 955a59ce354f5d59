#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sandbox::tsql {

class ExecContext;

// One argument of EXEC proc as written: 'disk', N'x', 42, NULL, or an unquoted name, with
// its parameter name when passed as @name = value.
struct ProcedureArgument {
    std::string parameter;             // "@loginame"; empty when passed by position
    std::optional<std::string> value;  // nullopt: NULL
    bool isDefault = false;            // DEFAULT: the parameter's own default
    std::string variable;              // "@name" when passed as a variable (its value set when run)
    bool output = false;               // OUTPUT: the variable receives the parameter's final value
};

// A call of a system procedure: its name as written and its arguments.
struct ProcedureCall {
    std::string name;
    std::vector<ProcedureArgument> arguments;
    int line = 1;

    // The value passed for a parameter, by name or else by position (0-based); nullopt
    // when it was not passed, passed as NULL or as DEFAULT.
    std::optional<std::string> argument(std::size_t position, std::string_view parameter) const;
    // The same for a parameter the procedure cannot do without: 201 "Procedure 'sp_x'
    // expects parameter '@p', which was not supplied." when it is missing or NULL.
    std::string required(std::size_t position, std::string_view parameter) const;
};

// The object a procedure's name argument names, as a statement would write it: its last
// part, without brackets or quotes.
// Text that does not read as one name is taken whole.
// Example: "[dbo].[trOrders]" -> "trOrders"; "Order Details" -> "Order Details".
std::string objectNameArgument(const std::string& text);

// A system procedure the sandbox carries out. Throws ServerError as SQL Server's own
// procedure reports its errors; informational messages go into the context's response.
using SystemProcedure = void (*)(ExecContext& context, const ProcedureCall& call);

// The system procedure of that name (any letter case), or null.
SystemProcedure findSystemProcedure(std::string_view name);

// The procedures, one family per file.
void spRename(ExecContext& context, const ProcedureCall& call);        // rename_procedure.cpp
void spAddumpdevice(ExecContext& context, const ProcedureCall& call);  // backup_statements.cpp
void spDropdevice(ExecContext& context, const ProcedureCall& call);    // backup_statements.cpp
void spAddrole(ExecContext& context, const ProcedureCall& call);       // security_procedures.cpp
void spAddlogin(ExecContext& context, const ProcedureCall& call);      // security_procedures.cpp
void spAdduser(ExecContext& context, const ProcedureCall& call);       // security_procedures.cpp
void spAddtype(ExecContext& context, const ProcedureCall& call);       // user_types.cpp
void spDroptype(ExecContext& context, const ProcedureCall& call);      // user_types.cpp
void spDboption(ExecContext& context, const ProcedureCall& call);      // maintenance_statements.cpp
void spDepends(ExecContext& context, const ProcedureCall& call);       // module_dependencies.cpp
void spSettriggerorder(ExecContext& context, const ProcedureCall& call);  // trigger_statements.cpp
void spHelprotect(ExecContext& context, const ProcedureCall& call);    // permission_statements.cpp

}  // namespace sandbox::tsql
