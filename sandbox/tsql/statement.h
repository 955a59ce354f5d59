#pragma once

#include <string>

namespace sandbox::tsql {

class ExecContext;

// One parsed statement of a batch. Executing it appends its results (row sets, messages,
// the Done) to the context's response; a failure is thrown as ServerError and turned into
// an error message by the batch runner.
class Statement {
public:
    virtual ~Statement() = default;
    virtual void execute(ExecContext& context) = 0;
    int line = 1;  // line of the statement's first token within the batch
};

}  // namespace sandbox::tsql
