// The runtime contract table keeps its own rules: one row per name, and a routine whose left
// operand is stacked removes exactly that operand, except the four float operators, whose
// callers release it.
#include "lib/RuntimeContract.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace runtime;

TEST(RuntimeContract, NamesAreUnique)
{
    std::set<std::string_view> seen;
    for (const Routine &r : kRoutines)
        EXPECT_TRUE(seen.insert(r.name).second) << r.name;
    EXPECT_EQ(find_routine("c_div"), &kRoutines[0]);
    EXPECT_EQ(find_routine("c_mult"), nullptr);
}

TEST(RuntimeContract, StackedOperandsAreRemovedByTheRoutineExceptFloatArithmetic)
{
    const std::set<std::string_view> caller_releases = {"F_add", "F_sub", "F_mul", "F_div"};
    for (const Routine &r : kRoutines) {
        int stacked = 0;
        if (r.in == In::stack2_hl)
            stacked = 2;
        else if (r.in == In::stack4_bcde)
            stacked = 4;
        const int expected = caller_releases.count(r.name) ? 0 : stacked;
        EXPECT_EQ(r.pops, expected) << r.name;
    }
}

TEST(RuntimeContract, EveryRowChangesTheFlagsOrSaysWhyNot)
{
    // F is listed for every routine that returns; only the ones that never return to their
    // caller's next instruction (errors, exit, interrupt entry and exits) leave it out.
    for (const Routine &r : kRoutines) {
        const bool special = r.out == Out::no_return || r.in == In::interrupt_entry ||
                             r.in == In::interrupt_exit;
        EXPECT_EQ((r.changes & kF) != 0, !special) << r.name;
    }
}
