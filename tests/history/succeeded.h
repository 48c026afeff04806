#pragma once

#include "history/fault.h"

#include <gtest/gtest.h>

// A write's outcome as an assertion: its fault's message when it failed.
inline ::testing::AssertionResult succeeded(const history::Expected<history::Done> &outcome)
{
    if (outcome.ok())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << outcome.fault().message;
}
