// The benchmarks' main: Google Benchmark's report, then a short table of what the library costs
// against the baselines measured in the same run, with the target of each figure. With --table
// only the table is printed (scripts/bench.sh). The targets are for reading, never a verdict on
// the run: a loaded machine moves every figure.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Result {
    double time = 0; // per iteration, in the benchmark's unit
    std::map<std::string, double> counters;
    std::string label;
    std::string error;
};

class RatioTable : public benchmark::ConsoleReporter {
  public:
    explicit RatioTable(bool table_only) : table_only_(table_only) {}

    bool ReportContext(const Context& context) override {
        return table_only_ || ConsoleReporter::ReportContext(context);
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        if (!table_only_)
            ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions the median of them stands for the benchmark; otherwise its run.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            if (!median && index_.count(name) && run.repetitions > 1)
                continue;
            Result r;
            r.time = run.GetAdjustedRealTime();
            for (const auto& [key, counter] : run.counters)
                r.counters[key] = counter.value;
            r.label = run.report_label;
            if (run.error_occurred)
                r.error = run.error_message;
            if (!index_.count(name)) {
                index_[name] = results_.size();
                results_.emplace_back(name, r);
            }
            results_[index_[name]].second = r;
        }
    }

    void Finalize() override {
        if (!table_only_)
            ConsoleReporter::Finalize();
        print();
    }

  private:
    static const char* verdict(bool met) { return met ? "met" : "MISSED"; }

    void print() const {
        std::printf("\nThe library against baselines measured in the same run (medians)\n");

        std::printf("\n1. Exchange overhead: export against raw DeviceIoControl of the same "
                    "request, null driver, CPU time\n");
        std::printf("   %-34s %-15s %9s %9s %8s %6s %12s  %s\n", "export", "buffers", "library",
                    "raw", "added", "ratio", "allocs added", "target <= 10 ns, 0 allocs");
        bool any = false;
        for (const auto& [name, r] : results_) {
            if (name.rfind("Exchange/", 0) != 0)
                continue;
            any = true;
            if (!r.error.empty()) {
                std::printf("   %-34s %s\n", name.c_str() + 9, r.error.c_str());
                continue;
            }
            const double added = r.counters.at("added_ns");
            const double allocs =
                r.counters.at("allocs_per_call") - r.counters.at("raw_allocs_per_call");
            std::printf("   %-34s %-15s %6.1f ns %6.1f ns %+5.1f ns %6.3f %12.2f  %s\n",
                        name.c_str() + 9, r.label.c_str(), r.counters.at("library_ns"),
                        r.counters.at("raw_ns"), added, r.counters.at("ratio"), allocs,
                        verdict(added <= 10 && allocs < 0.005));
        }
        if (!any)
            std::printf("   (not measured in this run)\n");

        std::printf("\n2. Interrupt delivery: driver signal to routine against a raw wake, "
                    "wall clock\n");
        if (const Result* r = find("BM_InterruptDelivery")) {
            const double added = r->counters.at("added_us");
            std::printf("   %-50s %8.1f us %8.1f us %+7.1f us %6.2f  %s\n",
                        "signal to routine (library, raw, added, ratio)",
                        r->counters.at("library_us"), r->counters.at("raw_us"), added,
                        r->counters.at("ratio"), verdict(added <= 5));
            std::printf("   %-50s target: within 5 us of the raw wake\n", "");
        }
        if (const Result* r = find("BM_InterruptDrain")) {
            const double rate = r->counters.at("records_per_s");
            std::printf("   %-50s %10.0f records/s (wall), %10.0f records/s (CPU)  %s\n",
                        "drain of 10,000 queued records", rate, r->counters.at("records_per_cpu_s"),
                        verdict(rate >= 500000));
            std::printf("   %-50s target: >= 500,000 records/s\n", "");
        }

        std::printf("\n3. Firmware flashing: four full modules against the same raw exchanges, "
                    "CPU time\n");
        if (const Result* r = find("BM_ConfigureAllModuleFourFullModules")) {
            const double ratio = r->counters.at("ratio");
            std::printf("   %-50s %8.1f ms %8.1f ms %6.3f  %s\n",
                        "i_MFB_ConfigureAllModule (library, raw, ratio)", r->time,
                        r->counters.at("raw_ms"), ratio, verdict(ratio <= 1.05));
            std::printf("   %-50s target: <= 1.05\n", "");
        }
        std::printf("\n");
    }

    const Result* find(const std::string& name) const {
        auto it = index_.find(name);
        if (it == index_.end()) {
            std::printf("   (not measured in this run)\n");
            return nullptr;
        }
        const Result& r = results_[it->second].second;
        if (!r.error.empty()) {
            std::printf("   %s: %s\n", name.c_str(), r.error.c_str());
            return nullptr;
        }
        return &r;
    }

    bool table_only_;
    std::vector<std::pair<std::string, Result>> results_; // in the order they ran
    std::map<std::string, std::size_t> index_;
};

} // namespace

int main(int argc, char** argv) {
    bool table_only = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--table") == 0)
            table_only = true;
        else
            args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;
    RatioTable table(table_only);
    benchmark::RunSpecifiedBenchmarks(&table);
    benchmark::Shutdown();
    return 0;
}
