#pragma once

#include "history/fault.h"

#include <gtest/gtest.h>

#include <stdexcept>

// A write's outcome as an assertion: its fault's message when it failed.
inline ::testing::AssertionResult succeeded(const history::Expected<history::Done> &outcome)
{
    if (outcome.ok())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << outcome.fault().message;
}

// A read's value; a failed read ends the test with its fault's message.
template <typename T>
T got(history::Expected<T> result)
{
    if (!result)
        throw std::runtime_error(result.fault().message);
    return std::move(*result);
}
