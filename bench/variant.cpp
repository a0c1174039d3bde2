// Cost of the variant operators as the script interpreter uses them: one
// operator per instruction on scalars, directly or through references.
#include <benchmark/benchmark.h>

#include "base/value/VLVariant.h"

static void BM_IntAdd(benchmark::State& state)
{
    CVLVariant a, b;
    a.SetInt(12345);
    b.SetLong(678);
    for (auto _ : state) {
        CVLVariant r = a + b;
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_IntAdd);

static void BM_DoubleMul(benchmark::State& state)
{
    CVLVariant a, b;
    a.SetDouble(1.5);
    b.SetInt(3);
    for (auto _ : state) {
        CVLVariant r = a * b;
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_DoubleMul);

static void BM_ReferenceAddAndAssign(benchmark::State& state)
{
    CVLVariant x, one, ref;
    x.SetInt(0);
    one.SetInt(1);
    ref.SetReference(&x);
    for (auto _ : state) {
        ref.SetValue(ref + one);
    }
    benchmark::DoNotOptimize(x);
}
BENCHMARK(BM_ReferenceAddAndAssign);

static void BM_IntLess(benchmark::State& state)
{
    CVLVariant a, b;
    a.SetInt(5);
    b.SetInt(7);
    for (auto _ : state) {
        bool bLess = a < b;
        benchmark::DoNotOptimize(bLess);
    }
}
BENCHMARK(BM_IntLess);

static void BM_IntEqualsString(benchmark::State& state)
{
    CVLVariant a, b;
    a.SetInt(42);
    b.SetString("42", VL_CHARSET_UTF8);
    for (auto _ : state) {
        bool bEqual = a == b;
        benchmark::DoNotOptimize(bEqual);
    }
}
BENCHMARK(BM_IntEqualsString);

BENCHMARK_MAIN();
