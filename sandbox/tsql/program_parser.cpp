#include "catalog/server_error.h"
#include "tsql/parser.h"
#include "tsql/program.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// What a construct still waits for while the statements inside it are parsed.
struct Frame {
    enum class Kind {
        Block,   // BEGIN ... : waits for END
        IfThen,  // IF cond : waits for its statement (then an optional ELSE)
        IfElse,  // ... ELSE : waits for its statement
        While    // WHILE cond : waits for its statement
    };
    Kind kind;
    std::size_t jump = 0;  // IfThen/While: the JumpUnless step; IfElse: the Jump over the ELSE part
    std::size_t start = 0;  // While: the step that tests the condition; Block: its first step
    std::vector<std::size_t> breaks;  // While: the Jump steps of its BREAKs
};

bool beginsBlock(const Parser& p) {
    return p.peek().isWord("BEGIN") && !p.peek(1).isWord("TRAN") &&
           !p.peek(1).isWord("TRANSACTION") && !p.peek(1).isWord("DISTRIBUTED");
}

// Builds a program step by step; the frames stand for the open IF, WHILE and BEGIN
// constructs, innermost last.
class ProgramBuilder {
public:
    explicit ProgramBuilder(Parser& parser) : m_p(parser) {}

    Program build() {
        while (true) {
            while (m_p.acceptSymbol(";")) {
            }
            if (m_p.peek().kind == TokenKind::End) break;
            unit();
        }
        if (!m_frames.empty()) m_p.syntaxError();  // a construct without its statement or END
        m_program.variables = m_p.takeVariables();
        return std::move(m_program);
    }

private:
    std::size_t emit(Step::Kind kind, int line) {
        Step step;
        step.kind = kind;
        step.line = line;
        m_program.steps.push_back(std::move(step));
        return m_program.steps.size() - 1;
    }

    std::size_t here() const { return m_program.steps.size(); }

    Frame* innermostLoop() {
        for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it)
            if (it->kind == Frame::Kind::While) return &*it;
        return nullptr;
    }

    // One statement, or the head of a construct.
    void unit() {
        const Token& t = m_p.peek();
        const int line = t.line;
        if (t.isWord("IF") || t.isWord("WHILE")) {
            const bool loop = t.isWord("WHILE");
            m_p.next();
            const std::size_t start = here();
            ExprPtr condition = m_p.expression();
            const std::size_t jump = emit(Step::Kind::JumpUnless, line);
            m_program.steps[jump].condition = std::move(condition);
            m_frames.push_back(
                Frame{loop ? Frame::Kind::While : Frame::Kind::IfThen, jump, start, {}});
            return;
        }
        if (beginsBlock(m_p)) {
            m_p.next();
            m_frames.push_back(Frame{Frame::Kind::Block, 0, here(), {}});
            return;
        }
        if (t.isWord("END")) {
            if (m_frames.empty() || m_frames.back().kind != Frame::Kind::Block ||
                here() == m_frames.back().start)
                m_p.syntaxError();
            m_p.next();
            m_frames.pop_back();
            completed();
            return;
        }
        if (t.isWord("BREAK") || t.isWord("CONTINUE")) {
            const bool isBreak = t.isWord("BREAK");
            Frame* loop = innermostLoop();
            if (!loop) m_p.syntaxError();
            m_p.next();
            const std::size_t jump = emit(Step::Kind::Jump, line);
            if (isBreak)
                loop->breaks.push_back(jump);
            else
                m_program.steps[jump].target = loop->start;
            completed();
            return;
        }
        if (t.isWord("RETURN")) {
            m_p.next();
            if (!atEnd() && m_p.returnValuesAllowed()) {
                // RETURN expression in a procedure: its return status, then its end.
                const std::size_t run = emit(Step::Kind::Run, line);
                m_program.steps[run].statement = makeReturnStatement(m_p.expression());
                m_program.steps[run].statement->line = line;
                emit(Step::Kind::Jump, line);
                completed();
                return;
            }
            if (!atEnd())
                throw ServerError(
                    178, 15,
                    "A RETURN statement with a return value cannot be used in this context.", 1,
                    ErrorScope::Batch)
                    .atLine(line);
            emit(Step::Kind::Jump, line);  // to the end
            completed();
            return;
        }
        if (t.isWord("ELSE")) m_p.syntaxError();
        std::unique_ptr<Statement> statement = m_p.statement();
        if (!atEnd()) m_p.syntaxError();
        const std::size_t run = emit(Step::Kind::Run, statement->line);
        m_program.steps[run].statement = std::move(statement);
        completed();
    }

    // After a statement: also true before ELSE and END, which close what encloses it.
    bool atEnd() const {
        return m_p.atStatementEnd() || m_p.peek().isWord("ELSE") || m_p.peek().isWord("END");
    }

    // A statement (or a whole construct) has been parsed: close the constructs it completes.
    void completed() {
        while (!m_frames.empty()) {
            Frame& top = m_frames.back();
            switch (top.kind) {
                case Frame::Kind::Block:
                    return;
                case Frame::Kind::IfThen:
                    if (m_p.acceptWord("ELSE")) {
                        const std::size_t skip = emit(Step::Kind::Jump, m_p.peek().line);
                        m_program.steps[top.jump].target = here();
                        top = Frame{Frame::Kind::IfElse, skip, 0, {}};
                        return;
                    }
                    m_program.steps[top.jump].target = here();
                    break;
                case Frame::Kind::IfElse:
                    m_program.steps[top.jump].target = here();
                    break;
                case Frame::Kind::While: {
                    const std::size_t back = emit(Step::Kind::Jump, m_program.steps[top.jump].line);
                    m_program.steps[back].target = top.start;
                    m_program.steps[top.jump].target = here();
                    for (std::size_t b : top.breaks) m_program.steps[b].target = here();
                    break;
                }
            }
            m_frames.pop_back();
        }
    }

    Parser& m_p;
    Program m_program;
    std::vector<Frame> m_frames;
};

}  // namespace

Program parseProgram(Parser& parser) { return ProgramBuilder(parser).build(); }

}  // namespace sandbox::tsql
