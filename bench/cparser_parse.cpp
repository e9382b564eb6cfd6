// Generated C parser speed: time per parse of typical hint texts, of nested parentheses (every
// level is read twice by the grammar's trial parse, so time doubles per level) and of a parse
// stopped by the default rule budget, with rule entries per second ("entries/s").
#include "parser/cparser/CParserFrame.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void parse_text(benchmark::State &state, const std::string &text, CParserLimits limits = {})
{
    long entries = 0;
    for (auto _ : state) {
        CParserSet set;
        set.set_limits(limits);
        CurrentParserSetScope scope(set);
        AST *tree = parseExpressionTree(text.c_str());
        benchmark::DoNotOptimize(tree);
        entries += set.rule_entries();
        destroyExpressionTree(tree);
    }
    state.counters["entries/s"] =
        benchmark::Counter(static_cast<double>(entries), benchmark::Counter::kIsRate);
}

void BM_Condition(benchmark::State &state) { parse_text(state, "x == 1)"); }
BENCHMARK(BM_Condition);

void BM_CallAndMembers(benchmark::State &state)
{
    parse_text(state, "p->count += f(a[i)], s.m, sizeof(unsigned long)) * 2;");
}
BENCHMARK(BM_CallAndMembers);

void BM_NestedParentheses(benchmark::State &state)
{
    const int levels = static_cast<int>(state.range(0));
    CParserLimits unlimited;
    unlimited.rule_budget = 1L << 40;
    parse_text(state, std::string(levels, '(') + "1" + std::string(2 * levels, ')') + ";",
               unlimited);
}
BENCHMARK(BM_NestedParentheses)->DenseRange(4, 16, 4);

void BM_StoppedByBudget(benchmark::State &state)
{
    parse_text(state, std::string(40, '(') + "1" + std::string(80, ')') + ";");
}
BENCHMARK(BM_StoppedByBudget);

}  // namespace

BENCHMARK_MAIN();
