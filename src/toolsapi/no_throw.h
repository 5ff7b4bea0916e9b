#pragma once

#include <type_traits>
#include <utility>

namespace qm::detail {

// The one guard of the library's entries that promise not to throw: the body runs, and an
// exception out of it (a failed allocation, in practice) becomes the entry's failure result
// instead of leaving the library.
template <class Failure, class Body>
std::invoke_result_t<Body> NoThrow(Failure failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return std::invoke_result_t<Body>(failure);
    }
}

// The same for a body without a result: an exception leaves whatever the body had done so far.
template <class Body>
void NoThrow(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

// The same for a body that fills the string `out`: an exception leaves `out` empty rather
// than half filled.
template <class Out, class Body>
void NoThrowOrClear(Out& out, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
        out.Clear();
    }
}

}  // namespace qm::detail
