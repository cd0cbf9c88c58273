#include <gtest/gtest.h>

#include <utility>

#include "hwt/client_guard.h"
#include "hwt/hwt_client.h"

namespace testbay {
namespace {

TEST(ClientGuardTest, ARunKeepsEveryOtherUserOffUntilItLetsGo) {
    HwtClientGuard guard;
    CHwtV4Client client(0);
    int stops = 0;
    ClientRunHold run = guard.TryStartRun([&stops] { ++stops; });
    ASSERT_TRUE(run);
    {
        const ClientUse use(guard);
        EXPECT_FALSE(use.Granted());
        EXPECT_EQ(use.Client(), nullptr);  // as if there were no connection
    }
    EXPECT_FALSE(guard.TryStartRun({}));
    EXPECT_TRUE(guard.StopRun());
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(guard.RunHeld());  // asked to stop, the run still decides when it ends

    // A hold moved to the worker lets go once, when the worker is done with it.
    ClientRunHold worker = std::move(run);
    run = ClientRunHold();
    EXPECT_TRUE(guard.RunHeld());
    worker.Release();
    EXPECT_FALSE(guard.RunHeld());
    EXPECT_FALSE(guard.StopRun());
    EXPECT_EQ(stops, 1);

    const ClientUse use(guard);
    EXPECT_TRUE(use.Granted());
    EXPECT_EQ(use.Client(), &client);
}

TEST(ClientGuardTest, UsesShareTheClientButARunWaitsForAllOfThem) {
    HwtClientGuard guard;
    {
        const ClientUse page(guard);
        {
            const ClientUse automation(guard);
            EXPECT_TRUE(page.Granted() && automation.Granted());
            EXPECT_FALSE(guard.TryStartRun({}));
        }
        EXPECT_FALSE(guard.TryStartRun({}));
    }
    {
        const ClientRunHold run = guard.TryStartRun({});
        EXPECT_TRUE(run);
        EXPECT_TRUE(guard.StopRun());  // a run without a stop request is only let go
    }
    // A refused use leaves nothing behind that would keep a run out.
    EXPECT_TRUE(guard.TryStartRun({}));
}

}  // namespace
}  // namespace testbay
