#include "platform/GLibAllocator.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The suites start through the same pre-initialisation hook as the application, so what holds
// here holds there.
TEST(GLibAllocatorTest, GLibHandsOutPlainMallocBlocksFromTheStart) {
    // A block of GLib's slice allocator may be freed with free() only when the allocator took
    // the setting before GLib's own start-up used it. The check runs in a fresh copy of this
    // program, so a block from a slab fails the test instead of the suite.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            for (int i = 0; i < 64; ++i)
                std::free(g_slice_alloc(24 + 8 * (i % 4)));
            GList* list = g_list_prepend(nullptr, nullptr);
            std::free(list);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(GLibAllocatorTest, ALateCallChangesNothingAndSaysNothing) {
    // The hook already ran; a second call must not touch the allocator GLib has started.
    int messages = 0;
    const GLogFunc previous =
        g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*,
                                     gpointer count) { ++*static_cast<int*>(count); },
                                  &messages);
    GLibAllocator::useSystemMalloc(0, nullptr, nullptr);
    g_log_set_default_handler(previous, nullptr);
    EXPECT_EQ(messages, 0);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    EXPECT_TRUE(g_slice_get_config(G_SLICE_CONFIG_ALWAYS_MALLOC));
    G_GNUC_END_IGNORE_DEPRECATIONS
}
