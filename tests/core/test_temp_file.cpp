// Temporary files of our own: unique, created empty, removed by their owner.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/io/temp_file.h"
#include "tests/support/test_util.h"

namespace {

bool Exists(const std::string& name)
{
    FILE* f = std::fopen(name.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

TEST(TemporaryFile, UniqueEmptyAndRemovedWhenItsOwnerEnds)
{
    std::string first, second;
    {
        TemporaryFile a, b;
        ASSERT_TRUE(a.Create());
        ASSERT_TRUE(b.Create());
        first = a.name;
        second = b.name;
        EXPECT_NE(first, second);
        EXPECT_TRUE(Exists(first));
        EXPECT_TRUE(testsupport::ReadFile(first).empty());
        // A second Create keeps the file it has.
        ASSERT_TRUE(a.Create());
        EXPECT_EQ(first, a.name);
        ASSERT_TRUE(testsupport::WriteFile(first, "data", 4));
    }
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(second));
}

}  // namespace
