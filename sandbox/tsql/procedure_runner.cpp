#include "tsql/procedure_runner.h"

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/batch_runner.h"
#include "tsql/dml_support.h"
#include "tsql/procedure_definition.h"
#include "tsql/statements.h"
#include "tsql/trigger_runner.h"
#include "tsql/user_types.h"

namespace sandbox::tsql {
namespace {

// RETURN expression: the procedure's return status, an int.
class ReturnStatement : public Statement {
public:
    explicit ReturnStatement(ExprPtr value) : m_value(std::move(value)) {}
    void execute(ExecContext& context) override {
        std::vector<StoredValue> values = evaluateConstants(context, {m_value.get()});
        static const ColumnType kInt = *makeColumnType("int", std::nullopt, std::nullopt);
        const StoredValue status = values.empty() ? StoredValue::null() : convertTo(kInt, values[0], ConversionMode::Convert);
        // Quirk (SQL Server): a NULL status comes back as 0.
        context.setReturnStatus(status.isNull() ? 0 : static_cast<int>(status.integer));
    }

private:
    ExprPtr m_value;
};

// The CREATE PROCEDURE text, and the status holding its ANSI_NULLS and QUOTED_IDENTIFIER.
std::pair<std::string, int> procedureSource(Database& db, int id) {
    sqlite::Statement q(db.handle(),
                        "SELECT c.text, o.status FROM syscomments c JOIN sysobjects o ON o.id = c.id "
                        "WHERE c.id = ? ORDER BY c.number, c.colid");
    q.bind(1, std::int64_t{id});
    std::string text;
    int status = kStatusAnsiNulls | kStatusQuotedIdentifier;
    while (q.step()) {
        text += q.text(0);
        status = static_cast<int>(q.integer(1));
    }
    return {text, status};
}

}  // namespace

std::unique_ptr<Statement> makeReturnStatement(ExprPtr value) {
    return std::make_unique<ReturnStatement>(std::move(value));
}

int runProcedure(ExecContext& context, const ObjectInfo& procedure,
                 const std::vector<ProcedureArgumentValue>& arguments) {
    if (context.nestLevel() >= kMaxNestLevel)
        throw ServerError(217, 16,
                          "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).", 1,
                          ErrorScope::Batch);
    Database& db = context.db();
    const auto [text, status] = procedureSource(db, procedure.id);
    const bool quoted = (status & kStatusQuotedIdentifier) != 0;
    const ProcedureDefinition definition = parseProcedureText(text, quoted);
    const auto& parameters = definition.parameters;

    // Arguments to parameters: by position first, then by name.
    std::vector<std::optional<StoredValue>> values(parameters.size());
    std::vector<std::size_t> boundTo(arguments.size());
    bool byName = false;
    std::size_t position = 0;
    for (std::size_t a = 0; a < arguments.size(); ++a) {
        const ProcedureArgumentValue& argument = arguments[a];
        std::size_t index = parameters.size();
        if (!argument.parameter.empty()) {
            byName = true;
            for (std::size_t i = 0; i < parameters.size(); ++i)
                if (iequals(parameters[i].name, argument.parameter)) index = i;
            if (index == parameters.size())
                throw ServerError(8145, 16, argument.parameter + " is not a parameter for procedure " + procedure.name +
                                                ".");
        } else {
            if (byName)
                throw ServerError(119, 15, "Must pass parameter number " + std::to_string(a + 1) +
                                               " and subsequent parameters as '@name = value'. After the form '@name = "
                                               "value' has been used, all subsequent parameters must be passed in the "
                                               "form '@name = value'.");
            if (position >= parameters.size())
                throw ServerError(8144, 16, "Procedure or function " + procedure.name +
                                                " has too many arguments specified.");
            index = position++;
        }
        values[index] = argument.value;
        boundTo[a] = index;
    }
    VariableScope scope;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const ProcedureParameter& parameter = parameters[i];
        auto type = findNamedType(db, parameter.type, i + 1);
        if (!type)
            throw ServerError(2715, 16, "Column or parameter #" + std::to_string(i + 1) + ": Cannot find data type " +
                                            parameter.type.name + ".");
        StoredValue value;
        if (values[i]) {
            value = *values[i];
        } else if (parameter.defaultValue) {
            std::vector<StoredValue> defaults = evaluateConstants(context, {parameter.defaultValue.get()});
            if (!defaults.empty()) value = defaults[0];
        } else {
            throw ServerError(201, 16, "Procedure '" + procedure.name + "' expects parameter '" + parameter.name +
                                           "', which was not supplied.", 4);
        }
        scope.add(Variable{parameter.name, type->type, convertTo(type->type, value, ConversionMode::Convert)});
    }

    SessionState& session = context.session();
    const SessionOptions options = session.options;
    session.options.ansiNulls = (status & kStatusAnsiNulls) != 0;
    session.options.quotedIdentifier = quoted;
    const int callerStatus = context.returnStatus();
    context.setReturnStatus(0);
    auto frame = context.enterModule(nullptr, procedure.name, procedure.id);
    auto leave = [&] {
        context.leaveModule(std::move(frame));
        session.options = options;  // SET inside a procedure lasts until its end
    };
    try {
        runProgram(context, definition.body, scope);
    } catch (...) {
        leave();
        context.setReturnStatus(callerStatus);
        throw;
    }
    leave();
    const int result = context.returnStatus();
    context.setReturnStatus(callerStatus);
    for (std::size_t a = 0; a < arguments.size(); ++a) {
        const ProcedureParameter& parameter = parameters[boundTo[a]];
        if (arguments[a].outputVariable.empty() || !parameter.output) continue;
        Variable* target = context.variables() ? context.variables()->find(arguments[a].outputVariable) : nullptr;
        const Variable* source = scope.find(parameter.name);
        if (target && source) context.variables()->assign(*target, source->value);
    }
    return result;
}

}  // namespace sandbox::tsql
