#include "app/operation_outcome.h"

namespace app {

const char* outcomeWord(OperationOutcome outcome) {
    switch (outcome) {
        case OperationOutcome::Completed:
            return "completed";
        case OperationOutcome::Failed:
            return "failed";
        case OperationOutcome::Refused:
            return "refused";
        case OperationOutcome::Cancelled:
            return "cancelled";
    }
    return "failed";
}

}  // namespace app
