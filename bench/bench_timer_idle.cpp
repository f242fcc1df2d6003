// CPU time of a started timer service with no timer pending, over 10 s of wall time,
// against a thread that sleeps the same 10 s (the floor: what waiting costs at all).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "KestroTimerService.h"
#include "synchapi.h"

namespace {

constexpr DWORD kWindowMs = 10000;

double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void ReportCpu(benchmark::State& state, double cpuMs) {
  state.counters["cpu_ms_per_10s"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
  state.counters["cpu_percent"] = benchmark::Counter(cpuMs / kWindowMs * 100.0, benchmark::Counter::kAvgIterations);
}

void BM_TimerServiceIdle(benchmark::State& state) {
  auto* timers = static_cast<ITimerService*>(CreateTimerService(IID_ITimerService, KCM_INTERFACE_VERSION));
  timers->StartService();
  for (auto _ : state) {
    const double before = ProcessCpuMs();
    Sleep(kWindowMs);  // the benchmark thread sleeps; what the process spends is the timer thread's
    ReportCpu(state, ProcessCpuMs() - before);
  }
  timers->StopService();
  timers->Ex_Release();
}

void BM_SleepingThreadFloor(benchmark::State& state) {
  for (auto _ : state) {
    const double before = ProcessCpuMs();
    std::thread sleeper([] { Sleep(kWindowMs); });
    sleeper.join();
    ReportCpu(state, ProcessCpuMs() - before);
  }
}

}  // namespace

BENCHMARK(BM_TimerServiceIdle)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_SleepingThreadFloor)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
