#pragma once

#include <gtest/gtest.h>

// Puts every desktop seam into recording mode for the whole test run: no real
// message box, Save dialog or browser ever opens.
class TestEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
};
