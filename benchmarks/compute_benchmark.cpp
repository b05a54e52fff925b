// What one datagram costs the receiver in computation alone: reading the angles and planning,
// with the controller calls going nowhere.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "motion/planner.h"
#include "net/angle_message.h"

namespace {

constexpr motion::MotionLimits kDefaultLimits{20000, 33};
constexpr int kReversal = 1;

// A motion source's stream: small changes around the working range, as a game sends them.
std::vector<std::string> sampleTexts() {
  std::vector<std::string> texts;
  for (int i = 0; i < 64; ++i) {
    const double pitch = -20.0 + 40.0 * i / 63.0;
    const double roll = 15.0 - 30.0 * ((i * 7) % 64) / 63.0;
    texts.push_back(std::to_string(pitch) + "," + std::to_string(roll));
  }
  return texts;
}

void BM_OneDatagram(benchmark::State& state) {
  const std::vector<std::string> texts = sampleTexts();
  motion::PlannerState planner = motion::initialPlannerState(kDefaultLimits);
  std::size_t next = 0;
  for (auto _ : state) {
    const auto angles = net::readAngles(texts[next], kReversal);
    benchmark::DoNotOptimize(
        motion::planMove(angles->pitch, angles->roll, motion::Side::Left, kDefaultLimits, planner));
    next = (next + 1) % texts.size();
  }
}
BENCHMARK(BM_OneDatagram);

void BM_ReadAngles(benchmark::State& state) {
  const std::vector<std::string> texts = sampleTexts();
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(net::readAngles(texts[next], kReversal));
    next = (next + 1) % texts.size();
  }
}
BENCHMARK(BM_ReadAngles);

void BM_PlanMove(benchmark::State& state) {
  std::vector<net::AnglePair> pairs;
  for (const std::string& text : sampleTexts()) pairs.push_back(*net::readAngles(text, kReversal));
  motion::PlannerState planner = motion::initialPlannerState(kDefaultLimits);
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(motion::planMove(pairs[next].pitch, pairs[next].roll,
                                              motion::Side::Left, kDefaultLimits, planner));
    next = (next + 1) % pairs.size();
  }
}
BENCHMARK(BM_PlanMove);

}  // namespace

BENCHMARK_MAIN();
