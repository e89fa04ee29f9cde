// The guard every system callback runs its handler through.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "app/guarded_call.h"

TEST(GuardedCall, GivesTheHandlersResultOrTheFallbackWhenItThrows) {
    EXPECT_EQ(5, CallGuarded(-1, [] { return 5; }));
    EXPECT_EQ(-1, CallGuarded(-1, []() -> int { throw std::bad_alloc(); }));
    EXPECT_EQ(-1, CallGuarded(-1, []() -> int { throw std::runtime_error("x"); }));
    // Not only the standard exceptions.
    EXPECT_EQ(-1, CallGuarded(-1, []() -> int { throw 3; }));
}

TEST(GuardedCall, AVoidHandlerEndsAtTheThrowAndGoesNoFurther) {
    int steps = 0;
    CallGuarded([&] {
        ++steps;
        throw std::bad_alloc();
    });
    CallGuarded([&] { ++steps; });
    EXPECT_EQ(2, steps);
}
