#include "toolsapi/no_throw.h"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <stdexcept>
#include <string>

TEST(NoThrow, GivesTheBodysResultOrTheFailureWhenTheBodyThrows) {
    EXPECT_EQ(qm::detail::NoThrow(std::string(), [] { return std::string("made"); }), "made");
    EXPECT_EQ(
        qm::detail::NoThrow(std::string("failed"), []() -> std::string { throw std::bad_alloc(); }),
        "failed");
    EXPECT_EQ(qm::detail::NoThrow(std::nullopt,
                                  []() -> std::optional<int> { throw std::runtime_error("bad"); }),
              std::nullopt);
    EXPECT_EQ(qm::detail::NoThrow(std::nullopt, []() -> std::optional<int> { return 7; }), 7);
    static_assert(noexcept(qm::detail::NoThrow(false, [] { return true; })));
}

TEST(NoThrow, KeepsWhatABodyWithoutResultDidBeforeItThrew) {
    int steps = 0;
    qm::detail::NoThrow([&] {
        ++steps;
        if (steps == 1) {
            throw std::bad_alloc();
        }
        ++steps;
    });
    EXPECT_EQ(steps, 1);
}
