#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

#include "api/engine.h"

namespace sandbox::wire {

// Fault injection shared by all of a server's connections: the SQL batches are counted
// over every connection, and one of them can be cut (its connection closed unrun, as a
// failed network would) or held (never run nor answered while its client stays, as a
// server that hangs would). Tests steer it at run time with control batches that only
// the sandbox knows, so that one server process serves many faulty runs:
//   SANDBOX CUT AT n    the n-th batch from now on is cut; 0: none
//   SANDBOX HOLD AT n   the n-th batch from now on is held; 0: none
//   SANDBOX BATCHES     one row, one column "batches": the batches counted since the
//                       server started or the last CUT AT / HOLD AT
// Control batches are not counted, traced or run. Thread-safe.
class FaultPlan {
public:
    enum class Action { Run, Cut, Hold };

    // `cutAt`: the --cut-at option (0: none).
    explicit FaultPlan(std::uint64_t cutAt = 0) : m_cutAt(cutAt) {}

    // Counts one client batch and says what becomes of it.
    Action countBatch();

    // The answer to a control batch, or nullopt when `sql` is not one.
    std::optional<Response> control(std::string_view sql);

private:
    std::mutex m_mutex;
    std::uint64_t m_count = 0;
    std::uint64_t m_cutAt = 0;
    std::uint64_t m_holdAt = 0;
};

}  // namespace sandbox::wire
