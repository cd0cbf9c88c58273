#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "comm/line_failure.h"

namespace testbay {
namespace {

TEST(LineFailureTest, OnlyALostLineBecomesWhatTheUserIsShown) {
    int ran = 0;
    EXPECT_EQ(CatchLineFailure([&ran] { ++ran; }), std::nullopt);
    EXPECT_EQ(ran, 1);

    // The work done before the line went away stays done.
    const auto failure = CatchLineFailure([&ran] {
        ++ran;
        throw CComExeption("Port geschlossen");
    });
    EXPECT_EQ(failure, "Port geschlossen");
    EXPECT_EQ(ran, 2);

    // Faults of the program itself are not a line failure.
    EXPECT_THROW(CatchLineFailure([] { throw std::logic_error("bug"); }), std::logic_error);
}

}  // namespace
}  // namespace testbay
