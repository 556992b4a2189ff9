#pragma once

#include <QByteArray>

#include <gtest/gtest.h>

#include <optional>

namespace testsupport {

// Every process-wide setting that tests change - the program folder, the application
// title, the catalogue, time-outs and fault hooks, the user's configuration folder in the
// environment, and in the window tests the desktop's recording seams - at its start state
// while the guard lives and again when it goes, also after a failed assertion.
// Recording is on: no real message box, Save dialog or browser ever opens.
class SeamGuard {
public:
    SeamGuard();
    ~SeamGuard();
    SeamGuard(const SeamGuard&) = delete;
    SeamGuard& operator=(const SeamGuard&) = delete;

private:
    std::optional<QByteArray> configFolder_; // as the environment had it; none when unset
};

// Holds a SeamGuard around every test, so that no test depends on the tests before it.
class SeamGuardListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { guard_.emplace(); }
    void OnTestEnd(const ::testing::TestInfo&) override { guard_.reset(); }

private:
    std::optional<SeamGuard> guard_;
};

} // namespace testsupport
