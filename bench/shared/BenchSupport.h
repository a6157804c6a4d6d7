#pragma once

#include "shared/Environment.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <linux/magic.h>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

// What the benchmarks share: timing, medians, the printed ratio, and a home of their own.
namespace tovin::bench {

// An environment holding only "HOME", so that a benchmark's shared folder lies in its scratch
// folder.
class Home final : public Environment {
public:
    explicit Home(std::filesystem::path path)
        : path_(std::move(path)) {}
    std::optional<std::string> variable(std::string_view name) const override {
        return name == "HOME" ? std::optional(path_.string()) : std::nullopt;
    }

private:
    std::filesystem::path path_;
};

// Wall-clock seconds that `work` takes.
template <class Work> double secondsFor(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

struct Samples {
    std::vector<double> first;
    std::vector<double> second;
};

// Runs two measurements in turn, `rounds` times each. Each returns the seconds it measured, so
// that its setup and cleanup stay outside the timing. Which one goes first changes every round,
// so that a machine getting slower or faster during the run favours neither.
template <class First, class Second> Samples alternate(int rounds, First&& first, Second&& second) {
    Samples samples;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            samples.first.push_back(first());
            samples.second.push_back(second());
        } else {
            samples.second.push_back(second());
            samples.first.push_back(first());
        }
    }
    return samples;
}

// The folder the benchmark works in (first argument) and how many rounds it runs (second
// argument, else `defaultRounds`); exits with a usage message when they are missing or wrong.
struct Arguments {
    std::filesystem::path folder;
    int rounds;
};

inline Arguments parseArguments(int argc, char** argv, int defaultRounds) {
    const int rounds = argc > 2 ? std::atoi(argv[2]) : defaultRounds;
    if (argc < 2 || argc > 3 || rounds < 1 || !std::filesystem::is_directory(argv[1])) {
        std::fprintf(stderr, "usage: %s SCRATCH-FOLDER [ROUNDS]\n", argv[0]);
        std::exit(2);
    }
    return {argv[1], rounds};
}

// Writes out everything pending on the file system holding `folder`, so that the disk is idle when
// the next timing starts.
inline void flushFileSystem(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0)
        throw std::filesystem::filesystem_error("cannot flush", folder,
                                                std::error_code(errno, std::generic_category()));
    ::close(fd);
}

// Runs a program found on the PATH and waits for it; throws when it cannot run or fails.
inline void run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
        ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(arguments[0] + " failed");
}

// Whether `folder` is in memory (tmpfs), where flushing to disk costs nothing.
inline bool inMemory(const std::filesystem::path& folder) {
    struct statfs status {};
    return ::statfs(folder.c_str(), &status) == 0 && status.f_type == TMPFS_MAGIC;
}

// The arguments of a benchmark that times writing to a disk: a scratch folder in memory would
// time no disk, so it ends the program with a line that says so.
inline Arguments parseDiskArguments(int argc, char** argv, int defaultRounds) {
    Arguments arguments = parseArguments(argc, argv, defaultRounds);
    if (inMemory(arguments.folder)) {
        std::fprintf(stderr, "%s is in memory (tmpfs): give a folder on a disk\n",
                     arguments.folder.c_str());
        std::exit(2);
    }
    return arguments;
}

// Removes what a benchmark made in its scratch folder, whatever happened: gigabytes are not left
// behind. The removal is flushed to disk, so that it does not slow the next benchmark down.
inline void removeAll(const std::filesystem::path& folder,
                      std::initializer_list<const char*> names) {
    std::error_code ignored;
    for (const char* name : names)
        std::filesystem::remove_all(folder / name, ignored);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

// The line the run script collects: "what: 1.04x (target <= 1.1x)".
inline void printRatio(const std::string& what, double ratio, const std::string& target) {
    std::printf("%s: %.2fx (%s)\n", what.c_str(), ratio, target.c_str());
}

} // namespace tovin::bench
