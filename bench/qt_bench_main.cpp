#include <benchmark/benchmark.h>

#include <QCoreApplication>

// The main() of benchmarks that run Qt objects (sockets, processes), which need an application.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
