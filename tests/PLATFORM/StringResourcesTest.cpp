// The message table: ordered, unique, and looked up exactly.
#include "StringResources.h"

#include <gtest/gtest.h>

TEST(StringTable, IdsAscendAndAreUnique)
{
    const StringResource *prev = nullptr;
    for (const StringResource *row = string_table_begin(); row != string_table_end(); ++row) {
        if (prev)
            EXPECT_LT(prev->id, row->id) << "row " << row->id << " after " << prev->id;
        ASSERT_NE(row->text, nullptr) << "id " << row->id;
        prev = row;
    }
}

TEST(StringTable, LookupFindsExactTextAndMissingIsEmpty)
{
    EXPECT_EQ(string_resource(5016), "Operation canceled by user.");
    EXPECT_EQ(string_resource(16), "Korvex");
    EXPECT_TRUE(string_resource(1).empty());
    EXPECT_TRUE(string_resource(0xFFFFFFFFu).empty());
}
