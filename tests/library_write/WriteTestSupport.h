#pragma once

// Small helpers shared by the write-side tests.

#include "library/IPodDatabase.h"

#include <gtest/gtest.h>

#include <functional>

namespace WriteTests {

inline IPodDatabaseError::Case failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const IPodDatabaseError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no IPodDatabaseError";
    return IPodDatabaseError::Case::library;
}

inline std::function<std::optional<int>()> product(int id) {
    return [id] { return std::optional<int>(id); };
}

} // namespace WriteTests
