/* Time per wheel candidate: the factoring kernel against a divider-bound loop. */
#include <benchmark/benchmark.h>

#include <vector>

#include "factor.h"

long reference_loop(double n, long revolutions);

static std::vector<double>
hard_inputs(int which)
{
	if (which == 0)
		return {99999999999973};
	if (which == 1)
		return {99999640000243};
	std::vector<double> xs;
	for (double x = 99999999999800; x <= 99999999999999; x++)
		xs.push_back(x);
	return xs;
}

static const char *const names[] = {
    "prime_99999999999973", "semiprime_99999640000243", "range_99999999999800_99999999999999"};

static void
set_rate(benchmark::State &state, double candidates)
{
	state.counters["per_candidate"] = benchmark::Counter(candidates,
	    benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

static void
bm_kernel(benchmark::State &state)
{
	auto xs = hard_inputs((int)state.range(0));
	double candidates = 0;
	for (double x : xs) {
		factor_number(x);
		candidates += (double)trial_count;
	}
	for (auto _ : state)
		for (double x : xs) {
			factor_number(x);
			benchmark::DoNotOptimize(factor_count);
		}
	state.SetLabel(names[state.range(0)]);
	set_rate(state, candidates);
}

/* The same candidates, the same count of revolutions, screened by the reference. */
static void
bm_reference(benchmark::State &state)
{
	auto xs = hard_inputs((int)state.range(0));
	std::vector<long> revolutions;
	double candidates = 0;
	for (double x : xs) {
		factor_number(x);
		revolutions.push_back((trial_count - 4) / 48);
		candidates += 48.0 * (double)revolutions.back();
	}
	for (auto _ : state)
		for (size_t i = 0; i < xs.size(); i++)
			benchmark::DoNotOptimize(reference_loop(xs[i], revolutions[i]));
	state.SetLabel(names[state.range(0)]);
	set_rate(state, candidates);
}

BENCHMARK(bm_kernel)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_reference)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
