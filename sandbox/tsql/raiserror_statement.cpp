// RAISERROR (msg, severity, state [, arguments]) [WITH LOG | NOWAIT | SETERROR] and the
// old form RAISERROR number 'text', with SQL Server's severity rules: up to 10 an
// informational message (@@ERROR stays 0), 11 to 18 an error (number 50000) after which
// the batch goes on, 19 to 25 only WITH LOG (else 2754), 20 and above ending the batch.
#include <cmath>
#include <cstdio>
#include <limits>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/batch_runner.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

constexpr std::int32_t kUserMessage = 50000;

std::string textOf(const StoredValue& v) {
    switch (v.kind) {
        case StoredValue::Kind::Null:
            return "(null)";
        case StoredValue::Kind::Integer:
            return std::to_string(v.integer);
        case StoredValue::Kind::Real:
            return numberText(v.real);
        default:
            return v.bytes;
    }
}

// A severity, state or %d argument as an integer; a float past bigint's range counts as
// its nearest end (a cast of it would be undefined), NaN as 0.
std::int64_t integerOf(const StoredValue& v) {
    switch (v.kind) {
        case StoredValue::Kind::Integer:
            return v.integer;
        case StoredValue::Kind::Real:
            if (std::isnan(v.real)) return 0;
            if (v.real <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
            if (v.real >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
            return static_cast<std::int64_t>(v.real);
        case StoredValue::Kind::Text:
            try {
                return std::stoll(v.bytes);
            } catch (const std::exception&) {
                return 0;
            }
        default:
            return 0;
    }
}

// Fills a RAISERROR message's placeholders as SQL Server does: %d %i %u %o %x %X %s with
// optional flags (- + 0 blank #), width and precision (a number or *), %% for a percent
// sign; a missing argument or NULL prints "(null)".
// Example: ("Level %d between %d and %s.", {5, 10, "x"}) -> "Level 5 between 10 and x."
std::string formatRaiserrorMessage(const std::string& format,
                                   const std::vector<StoredValue>& arguments) {
    std::string out;
    std::size_t next = 0;
    auto take = [&]() -> const StoredValue* {
        return next < arguments.size() ? &arguments[next++] : nullptr;
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::string spec = "%";
        std::size_t k = i + 1;
        while (k < format.size() &&
               std::string_view("-+0 #").find(format[k]) != std::string_view::npos)
            spec += format[k++];
        auto number = [&] {
            if (k < format.size() && format[k] == '*') {
                ++k;
                const StoredValue* v = take();
                spec += std::to_string(v ? integerOf(*v) : 0);
                return;
            }
            while (k < format.size() && format[k] >= '0' && format[k] <= '9') spec += format[k++];
        };
        number();
        if (k < format.size() && format[k] == '.') {
            spec += format[k++];
            number();
        }
        while (k < format.size() && (format[k] == 'h' || format[k] == 'l' || format[k] == 'I')) ++k;
        if (k >= format.size()) {
            out += format.substr(i);
            break;
        }
        const char conversion = format[k];
        const StoredValue* value =
            std::string_view("diuoxXs").find(conversion) != std::string_view::npos ? take()
                                                                                   : nullptr;
        char buf[512];
        if (conversion == 's') {
            std::snprintf(buf, sizeof buf, (spec + "s").c_str(),
                          (value ? textOf(*value) : std::string("(null)")).c_str());
            out += buf;
        } else if (std::string_view("diuoxX").find(conversion) != std::string_view::npos) {
            if (!value || value->isNull()) {
                out += "(null)";
            } else {
                const char c = conversion == 'i' ? 'd' : conversion;
                std::snprintf(buf, sizeof buf, (spec + "ll" + c).c_str(),
                              static_cast<long long>(integerOf(*value)));
                out += buf;
            }
        } else {
            out += format.substr(i, k - i + 1);
        }
        i = k;
    }
    return out;
}

class RaiserrorStatement : public Statement {
public:
    ExprPtr message;
    ExprPtr severity;
    ExprPtr state;
    std::vector<ExprPtr> arguments;
    bool withLog = false;
    bool setError = false;
    std::int32_t number = kUserMessage;  // the old form names its own

    void execute(ExecContext& context) override {
        std::vector<const Expr*> exprs{message.get(), severity.get(), state.get()};
        for (const auto& a : arguments) exprs.push_back(a.get());
        std::vector<StoredValue> values = evaluateConstants(context, exprs);
        const StoredValue& msg = values[0];
        if (msg.kind == StoredValue::Kind::Integer)
            throw ServerError(2758, 16,
                              "RAISERROR could not locate entry for error " +
                                  std::to_string(msg.integer) + " in sysmessages.");
        std::int64_t level = integerOf(values[1]);
        if (level < 0) level = 16;
        if (level > 25) level = 25;
        std::int64_t st = integerOf(values[2]);
        if (st < 1 || st > 127) st = 1;
        if (level > 18 && !withLog)
            throw ServerError(2754, 16,
                              "Error severity levels greater than 18 can only be specified by "
                              "members of the sysadmin "
                              "role, using the WITH LOG option.");
        std::string text =
            formatRaiserrorMessage(msg.isNull() ? std::string() : textOf(msg),
                                   std::vector<StoredValue>(values.begin() + 3, values.end()));
        if (utf8Length(text) > 400)
            text.resize(utf8Offset(text, 400));  // SQL Server 2000 keeps 400 characters
        if (level <= 10) {
            context.response().items.emplace_back(Message{number, static_cast<std::uint8_t>(st),
                                                          static_cast<std::uint8_t>(level), text,
                                                          context.moduleName(), line});
            if (setError) {
                context.session().lastError = number;
                context.session().keepError = true;
            }
            return;
        }
        ServerError error(number, static_cast<std::uint8_t>(level), text,
                          static_cast<std::uint8_t>(st));
        if (level >= 20) {
            // A fatal severity: the message, then nothing more of the batch runs.
            reportError(context, error, line);
            throw BatchAborted{};
        }
        throw error;
    }
};

}  // namespace

std::unique_ptr<Statement> parseRaiserror(Parser& p) {
    p.expectWord("RAISERROR");
    auto s = std::make_unique<RaiserrorStatement>();
    if (p.acceptSymbol("(")) {
        s->message = p.expression();
        p.expectSymbol(",");
        s->severity = p.expression();
        p.expectSymbol(",");
        s->state = p.expression();
        while (p.acceptSymbol(",")) s->arguments.push_back(p.expression());
        p.expectSymbol(")");
    } else {
        // RAISERROR 50001 'text': the old form, severity 16.
        s->number = static_cast<std::int32_t>(p.integerLiteral(std::numeric_limits<std::int32_t>::max()));
        s->message = p.expression();
        auto sixteen = std::make_unique<Expr>();
        sixteen->kind = ExprKind::Integer;
        sixteen->text = "16";
        s->severity = std::move(sixteen);
        auto one = std::make_unique<Expr>();
        one->kind = ExprKind::Integer;
        one->text = "1";
        s->state = std::move(one);
    }
    if (p.acceptWord("WITH")) {
        do {
            if (p.acceptWord("LOG"))
                s->withLog = true;
            else if (p.acceptWord("SETERROR"))
                s->setError = true;
            else if (!p.acceptWord("NOWAIT"))
                p.syntaxError();
        } while (p.acceptSymbol(","));
    }
    return s;
}

}  // namespace sandbox::tsql
