#include "registry/unexpected_error.h"

#include <exception>
#include <new>

#include "db/error.h"

namespace registry {

ClassicError currentError() {
    try {
        throw;
    } catch (const db::Error& e) {
        return {e.number(), e.description()};
    } catch (const std::bad_alloc&) {
        return {7, "Out of memory"};
    } catch (const std::exception& e) {
        return {51, std::string("Internal error: ") + e.what()};
    } catch (...) {
        return {51, "Internal error"};
    }
}

}  // namespace registry
