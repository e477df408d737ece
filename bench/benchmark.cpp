// rezurudev-bench: times `rezurudev-cli --apply` on generated boards of 1, 10 and 100 MB
// against `cp` followed by `sync` of the copy, on the same machine in one run, and
// reports the peak memory of the pipeline; then `rezurudev-cli apply --round up --format
// json` (the hole engine, its report and the same rewrite) against `--apply`. Prints
// Markdown tables. With --one-line it
// also times the listing of a board made from ONE_LINE_SOURCE (every item repeated, so
// its vias too) as written with line breaks and as the same board on one line. Then it
// lists and checks a whole footprint library (LIBRARY, by default Debian's
// /usr/share/kicad/footprints; skipped with a note when it is absent; --library "" skips
// it) against a shell loop running the one-file form once per file.
//
//   rezurudev-bench [--runs N] [--one-line ONE_LINE_SOURCE] [--library LIBRARY] CLI
//                   SOURCE.kicad_pcb WORKDIR [MEGABYTES...]
//
// Each measurement is the median of N runs (default 5). Before every timed run the
// page cache holds the input and nothing is left dirty, so both sides start alike.
#include "board_generator.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    double Seconds = 0;
    long PeakKiB = 0;
    int Status = -1;
};

// Runs a program with its output thrown away (with `quiet` its errors too); times it and
// takes its peak memory.
Outcome Run(const std::vector<std::string>& args, bool quiet = false) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    // A child inherits what is waiting in stdout and would print it once more.
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr ||
            (quiet && std::freopen("/dev/null", "w", stderr) == nullptr)) {
            _exit(126);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    Outcome outcome;
    outcome.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.PeakKiB = usage.ru_maxrss;
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

size_t CountLines(const fs::path& p) {
    FILE* f = std::fopen(p.c_str(), "rb");
    size_t lines = 0;
    if (f != nullptr) {
        char buffer[1 << 16];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            lines += static_cast<size_t>(std::count(buffer, buffer + got, '\n'));
        }
        std::fclose(f);
    }
    return lines;
}

// The listing of the same board with line breaks and on one line: a scan that reads a line
// again for every via in it grows with the square of the line's length.
bool MeasureOneLine(const std::string& cli, const std::string& source, const fs::path& work,
                    int runs) {
    constexpr uint64_t kBytes = 20u << 20;
    std::printf("\n| %s, every item repeated | lines | vias | rezurudev-cli listing | fastest - "
                "slowest run |\n|---|---|---|---|---|\n",
                fs::path(source).filename().c_str());
    for (const bool oneLine : {false, true}) {
        const fs::path board = work / "one-line.kicad_pcb";
        std::string why;
        if (!rzbench::GenerateBoard(source, board.string(), kBytes, why,
                                    rzbench::Repeat::Everything, oneLine)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return false;
        }
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            Run({"sync"});
            const Outcome list = Run({cli, board.string()});
            if (list.Status != 0) {
                std::fprintf(stderr, "rezurudev-cli failed with status %d\n", list.Status);
                return false;
            }
            times.push_back(list.Seconds);
        }
        std::ifstream in(board, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        size_t vias = 0;
        for (size_t at = 0; (at = bytes.find("(via", at)) != std::string::npos; ++at) {
            vias += bytes.compare(at, 5, "(via ") == 0 || bytes.compare(at, 5, "(via\n") == 0;
        }
        std::printf("| %.1f MB %s | %zu | %zu | %.3f s | %.3f - %.3f s |\n",
                    static_cast<double>(bytes.size()) / (1024.0 * 1024.0),
                    oneLine ? "on one line" : "with line breaks",
                    std::max<size_t>(CountLines(board), 1), vias, Median(times),
                    *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()));
        fs::remove(board);
    }
    return true;
}

// A footprint library of many files (Debian's kicad-footprints: LIBRARY/NAME.pretty/*) in
// one run of list, check and list --format json over all its folders, against a shell
// loop that runs the one-file form `rezurudev-cli FILE` once per file; and the peak memory
// against that of the library's largest file on its own.
bool MeasureLibrary(const std::string& cli, const fs::path& library, const fs::path& work,
                    int runs) {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    fs::path largest;
    std::error_code error;
    for (fs::directory_iterator it(library, error), end; !error && it != end; ++it) {
        if (it->path().extension() == ".pretty") {
            folders.push_back(it->path().string());
        }
    }
    std::sort(folders.begin(), folders.end());
    for (const std::string& folder : folders) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".kicad_mod") {
                files.push_back(entry.path().string());
                if (largest.empty() || entry.file_size() > fs::file_size(largest)) {
                    largest = entry.path();
                }
            }
        }
    }
    if (files.empty()) {
        std::printf("\nNo footprint library in %s (Debian: kicad-footprints): library "
                    "benchmark skipped.\n",
                    library.c_str());
        return true;
    }
    std::printf("\n| %zu footprint files in %zu folders | time | files per second | peak "
                "memory |\n|---|---|---|---|\n",
                files.size(), folders.size());
    const auto row = [&](const char* what, std::vector<std::string> args, int times, size_t count) {
        std::vector<double> seconds;
        long peak = 0;
        for (int r = 0; r < times; ++r) {
            const Outcome run = Run(args, true);
            if (run.Status != 0 && run.Status != 5) {
                std::fprintf(stderr, "%s: status %d\n", what, run.Status);
                return false;
            }
            seconds.push_back(run.Seconds);
            peak = std::max(peak, run.PeakKiB);
        }
        const double median = Median(seconds);
        std::printf("| %s | %.2f s | %.0f | %.1f MB |\n", what, median,
                    static_cast<double>(count) / median, static_cast<double>(peak) / 1024);
        return true;
    };
    std::vector<std::string> list = {cli, "list"};
    list.insert(list.end(), folders.begin(), folders.end());
    std::vector<std::string> check = list;
    check[1] = "check";
    std::vector<std::string> json = list;
    json.insert(json.begin() + 2, {"--format", "json"});
    const fs::path names = work / "footprint-files.txt";
    {
        std::ofstream out(names);
        for (const std::string& file : files) {
            out << file << "\n";
        }
    }
    const std::string loop = "while IFS= read -r f; do \"$0\" \"$f\"; done < \"$1\"";
    const bool ok =
        row("`rezurudev-cli list LIBRARY/*.pretty`", list, runs, files.size()) &&
        row("`rezurudev-cli check LIBRARY/*.pretty`", check, runs, files.size()) &&
        row("`rezurudev-cli list --format json LIBRARY/*.pretty`", json, runs, files.size()) &&
        row("shell loop: `rezurudev-cli FILE` once per file",
            {"sh", "-c", loop, cli, names.string()}, 1, files.size()) &&
        row(("largest file alone: `rezurudev-cli list` " + largest.filename().string() + ", " +
             std::to_string(fs::file_size(largest) / 1024) + " KiB")
                .c_str(),
            {cli, "list", largest.string()}, runs, 1);
    fs::remove(names);
    return ok;
}

struct Row {
    double Megabytes;
    uint64_t Bytes;
    size_t Lines;
    double Copy;
    double Pipeline;
    double PipelineLow;
    double PipelineHigh;
    long PeakKiB;
    double Rules; // apply --round up --format json
    long RulesPeakKiB;
};

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string oneLineSource;
    std::string library = "/usr/share/kicad/footprints";
    std::vector<std::string> args(argv + 1, argv + argc);
    while (args.size() >= 2 &&
           (args[0] == "--runs" || args[0] == "--one-line" || args[0] == "--library")) {
        if (args[0] == "--runs") {
            runs = std::max(1, std::atoi(args[1].c_str()));
        } else if (args[0] == "--library") {
            library = args[1];
        } else {
            oneLineSource = args[1];
        }
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() < 3) {
        std::fputs("usage: rezurudev-bench [--runs N] [--one-line ONE_LINE_SOURCE] [--library "
                   "LIBRARY] CLI SOURCE.kicad_pcb WORKDIR [MEGABYTES...]\n",
                   stderr);
        return 3;
    }
    const std::string cli = fs::absolute(args[0]).string();
    const std::string source = args[1];
    const fs::path work = args[2];
    std::vector<double> sizes = {1, 10, 100};
    if (args.size() > 3) {
        sizes.clear();
        for (size_t k = 3; k < args.size(); ++k) {
            sizes.push_back(std::atof(args[k].c_str()));
        }
    }
    fs::create_directories(work);

    // The program's own footprint (code, libraries, heap set-up): its peak on an
    // empty board. What a board costs on top of it is what grows with the file.
    long baselineKiB = 0;
    {
        const fs::path empty = work / "empty.kicad_pcb";
        std::FILE* f = std::fopen(empty.c_str(), "wb");
        if (f != nullptr) {
            std::fclose(f);
        }
        baselineKiB = Run({cli, "--apply", empty.string()}).PeakKiB;
        fs::remove(empty);
    }

    std::vector<Row> rows;
    for (const double megabytes : sizes) {
        const fs::path board = work / "generated.kicad_pcb";
        const fs::path copy = work / "copy.kicad_pcb";
        const fs::path target = work / "target.kicad_pcb";
        std::string why;
        if (!rzbench::GenerateBoard(source, board.string(),
                                    static_cast<uint64_t>(megabytes * 1024 * 1024), why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
        Row row{megabytes, fs::file_size(board), CountLines(board), 0, 0, 0, 0, 0, 0, 0};
        std::vector<double> copies;
        std::vector<double> pipelines;
        std::vector<double> rules;
        for (int r = 0; r < runs; ++r) {
            fs::remove(copy);
            Run({"sync"});
            const Outcome cp = Run({"cp", board.string(), copy.string()});
            const Outcome sync = Run({"sync", copy.string()});
            copies.push_back(cp.Seconds + sync.Seconds);

            fs::copy_file(board, target, fs::copy_options::overwrite_existing);
            Run({"sync"});
            const Outcome apply = Run({cli, "--apply", target.string()});
            if (apply.Status != 0) {
                std::fprintf(stderr, "rezurudev-cli failed with status %d\n", apply.Status);
                return 1;
            }
            pipelines.push_back(apply.Seconds);
            row.PeakKiB = std::max(row.PeakKiB, apply.PeakKiB);

            fs::copy_file(board, target, fs::copy_options::overwrite_existing);
            Run({"sync"});
            const Outcome rule =
                Run({cli, "apply", "--round", "up", "--format", "json", target.string()});
            if (rule.Status != 0) {
                std::fprintf(stderr, "rezurudev-cli apply failed with status %d\n", rule.Status);
                return 1;
            }
            rules.push_back(rule.Seconds);
            row.RulesPeakKiB = std::max(row.RulesPeakKiB, rule.PeakKiB);
        }
        row.Rules = Median(rules);
        row.Copy = Median(copies);
        row.Pipeline = Median(pipelines);
        row.PipelineLow = *std::min_element(pipelines.begin(), pipelines.end());
        row.PipelineHigh = *std::max_element(pipelines.begin(), pipelines.end());
        rows.push_back(row);
        fs::remove(board);
        fs::remove(copy);
        fs::remove(target);
    }

    std::printf("| board | lines | cp + sync | rezurudev-cli --apply | (fastest - slowest run) "
                "| ratio | per MB | peak memory | peak / file | (peak - empty board) / file |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        const double mb = static_cast<double>(row.Bytes) / (1024.0 * 1024.0);
        const double peakMb = static_cast<double>(row.PeakKiB) / 1024.0;
        const double aboveMb = static_cast<double>(row.PeakKiB - baselineKiB) / 1024.0;
        std::printf("| %.1f MB | %zu | %.3f s | %.3f s | %.3f - %.3f s | %.2f | %.1f ms | %.1f MB "
                    "| %.2f | %.2f |\n",
                    mb, row.Lines, row.Copy, row.Pipeline, row.PipelineLow, row.PipelineHigh,
                    row.Pipeline / row.Copy, 1000.0 * row.Pipeline / mb, peakMb, peakMb / mb,
                    aboveMb / mb);
    }
    std::printf("\npeak memory on an empty board: %.1f MB\n",
                static_cast<double>(baselineKiB) / 1024.0);
    std::printf("\n| board | rezurudev-cli --apply | apply --round up --format json | ratio | "
                "peak memory |\n|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        std::printf("| %.1f MB | %.3f s | %.3f s | %.2f | %.1f MB |\n",
                    static_cast<double>(row.Bytes) / (1024.0 * 1024.0), row.Pipeline, row.Rules,
                    row.Rules / row.Pipeline, static_cast<double>(row.RulesPeakKiB) / 1024.0);
    }
    // The bar: at 100 MB at most 2.5 times the copy, and the rules at most 1.5 times
    // --apply; time per MB from 10 to 100 MB up by at most 25 %; peak memory under 4 times
    // the file.
    bool ok = true;
    for (const Row& row : rows) {
        const double mb = static_cast<double>(row.Bytes) / (1024.0 * 1024.0);
        if (static_cast<double>(row.PeakKiB) / 1024.0 >= 4 * mb) {
            ok = false;
        }
    }
    const auto find = [&](double megabytes) -> const Row* {
        for (const Row& row : rows) {
            if (row.Megabytes == megabytes) {
                return &row;
            }
        }
        return nullptr;
    };
    const Row* ten = find(10);
    const Row* hundred = find(100);
    if (hundred != nullptr) {
        std::printf("\nat 100 MB: %.2f times the copy (bar 2.5)\n",
                    hundred->Pipeline / hundred->Copy);
        ok = ok && hundred->Pipeline <= 2.5 * hundred->Copy;
        std::printf("at 100 MB: apply --round up --format json %.2f times --apply (bar 1.5)\n",
                    hundred->Rules / hundred->Pipeline);
        ok = ok && hundred->Rules <= 1.5 * hundred->Pipeline;
    }
    if (ten != nullptr && hundred != nullptr) {
        const double growth = (hundred->Pipeline / static_cast<double>(hundred->Bytes)) /
                                  (ten->Pipeline / static_cast<double>(ten->Bytes)) -
                              1;
        std::printf("time per MB from 10 to 100 MB: %+.0f %% (bar +25 %%)\n", 100 * growth);
        ok = ok && growth <= 0.25;
    }
    std::printf("%s\n", ok ? "within the bar" : "NOT within the bar");
    if (!oneLineSource.empty() && !MeasureOneLine(cli, oneLineSource, work, runs)) {
        return 1;
    }
    if (!library.empty() && !MeasureLibrary(cli, library, work, runs)) {
        return 1;
    }
    return ok ? 0 : 2;
}
