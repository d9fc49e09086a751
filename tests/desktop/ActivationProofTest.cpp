#include "desktop/ActivationProof.h"

#include <gtest/gtest.h>

#include <cstdlib>

using jotbox::ActivationProof;

namespace {

// The panel asks for the focus with the time a launcher's startup id holds:
// read wrong, the window manager refuses it as stale or lets it steal the
// focus from what the user did since.
TEST(ActivationProof, TheTimeIsTheOneAtTheEndOfAStartupIdAndOnlyThere) {
    const std::pair<QString, std::uint32_t> cases[] = {
        {"xfce4-appfinder-1234-host-jotbox-0_TIME87654321", 87654321},
        {"a_TIME1_TIME2", 2},
        {"x_TIME4294967295", 4294967295u},
        {"x_TIME4294967296", 0},
        {"x_TIME", 0},
        {"x_TIME12ab", 0},
        {"x_TIME-5", 0},
        {"no time here", 0},
    };
    for (const auto& [id, time] : cases)
        EXPECT_EQ((ActivationProof{{}, id}.time()), time) << id.toStdString();
    EXPECT_EQ((ActivationProof{"token_TIME5", {}}.time()), 0u); // a Wayland token tells no time
    EXPECT_EQ((ActivationProof{"token", {}}.windowStartupId()), "token");
}

// Used once: a program Jotbox starts (a browser for the website) must not
// take the proof for its own.
TEST(ActivationProof, TakenFromTheEnvironmentItLeavesIt) {
    setenv("XDG_ACTIVATION_TOKEN", "wayland-token", 1);
    setenv("DESKTOP_STARTUP_ID", "launcher_TIME42", 1);
    const ActivationProof proof = ActivationProof::takeFromEnvironment();
    EXPECT_EQ(proof.token, "wayland-token");
    EXPECT_EQ(proof.time(), 42u);
    EXPECT_EQ(std::getenv("XDG_ACTIVATION_TOKEN"), nullptr);
    EXPECT_EQ(std::getenv("DESKTOP_STARTUP_ID"), nullptr);
    EXPECT_TRUE(ActivationProof::takeFromEnvironment().isEmpty());
}

} // namespace
