#include "tsql/system_procedures.h"

#include <array>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/parser.h"

namespace sandbox::tsql {
namespace {

struct Entry {
    std::string_view name;
    SystemProcedure run;
};

// To add a system procedure, write it in its family's file and add its row here.
constexpr std::array<Entry, 12> kProcedures = {{
    {"sp_rename", spRename},
    {"sp_addumpdevice", spAddumpdevice},
    {"sp_dropdevice", spDropdevice},
    {"sp_addrole", spAddrole},
    {"sp_addlogin", spAddlogin},
    {"sp_adduser", spAdduser},
    {"sp_addtype", spAddtype},
    {"sp_droptype", spDroptype},
    {"sp_dboption", spDboption},
    {"sp_depends", spDepends},
    {"sp_settriggerorder", spSettriggerorder},
    {"sp_helprotect", spHelprotect},
}};

}  // namespace

std::optional<std::string> ProcedureCall::argument(std::size_t position, std::string_view parameter) const {
    for (const auto& a : arguments)
        if (!a.parameter.empty() && iequals(a.parameter, parameter)) return a.isDefault ? std::nullopt : a.value;
    if (position < arguments.size() && arguments[position].parameter.empty() && !arguments[position].isDefault)
        return arguments[position].value;
    return std::nullopt;
}

std::string ProcedureCall::required(std::size_t position, std::string_view parameter) const {
    auto value = argument(position, parameter);
    if (!value)
        throw ServerError(201, 16, "Procedure '" + name + "' expects parameter '" + std::string(parameter) +
                                       "', which was not supplied.", 4);
    return *value;
}

std::string objectNameArgument(const std::string& text) {
    try {
        Parser parser(text, true);
        ObjectName name = parser.objectName();
        if (parser.peek().kind == TokenKind::End) return name.name();
    } catch (const ServerError&) {
    }
    return text;
}

SystemProcedure findSystemProcedure(std::string_view name) {
    for (const auto& e : kProcedures)
        if (iequals(e.name, name)) return e.run;
    return nullptr;
}

}  // namespace sandbox::tsql
