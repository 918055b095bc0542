#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/quorvane-cli/poll_plan.hpp"

namespace quorvane::cli {
namespace {

// What is asked for before a poll: the commands that change a device, abbreviations and
// special forms included, and nothing that only reads.
TEST(PollPlan, DeviceChangingCommandsAreTheOnesThatWriteOrReload) {
    const std::vector<std::string> cmds = {"show running-config",
                                           "sh ver",
                                           "%reload%",
                                           "delete /force /recursive /tmp/*",
                                           "wr",
                                           "conf t",
                                           "debug capwap",
                                           "show filesystems",
                                           "sleep_5",
                                           "reload",
                                           "terminal length 0",
                                           "ip sftp username svc",
                                           "archive download-sw /reload tftp://10.0.0.9/i.tar",
                                           "copy tftp://10.0.0.9/i.tar flash:i.tar",
                                           "c",
                                           "test mesh",
                                           "copy syslogs 10.0.0.9"};
    EXPECT_THAT(
        device_changing_commands(cmds),
        ::testing::ElementsAre("reload", "delete /force /recursive /tmp/*", "wr", "conf t",
                               "archive download-sw /reload tftp://10.0.0.9/i.tar",
                               "copy tftp://10.0.0.9/i.tar flash:i.tar", "copy syslogs 10.0.0.9"));
}

}  // namespace
}  // namespace quorvane::cli
