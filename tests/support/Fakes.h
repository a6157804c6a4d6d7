#pragma once

#include "shared/Clock.h"
#include "shared/Environment.h"
#include "shared/FileManagerWrapper.h"
#include "shared/UUIDSource.h"

#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace tovin::testing {

class FakeEnvironment final : public Environment {
public:
    std::map<std::string, std::string, std::less<>> variables;

    std::optional<std::string> variable(std::string_view name) const override {
        const auto found = variables.find(name);
        if (found == variables.end())
            return std::nullopt;
        return found->second;
    }
};

// UUIDs in a known sequence: 00000000-0000-4000-8000-000000000001, …
class CountingUUIDSource final : public UUIDSource {
public:
    std::string newUUID() override { return text(++count); }

    static std::string text(int number) {
        char text[37];
        std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012d", number);
        return text;
    }

    int count = 0;
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(std::chrono::system_clock::time_point now)
        : time(now) {}
    std::chrono::system_clock::time_point now() const override { return time; }
    std::chrono::system_clock::time_point time;
};

// Counts the operations that write to the disk, and throws `error` instead of doing the one
// numbered `failAt` (from 1), or, when `afterwards`, once it is done, as a disk that fills up
// part-way through does.
class FailingFileManager final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;

    int failAt = 0;
    bool afterwards = false;
    int count = 0;
    std::error_code error = std::make_error_code(std::errc::no_space_on_device);

    void createDirectory(const std::filesystem::path& folder) override {
        step(folder, [&] { FileManagerWrapper::createDirectory(folder); });
    }
    void copyItem(const std::filesystem::path& source, const std::filesystem::path& destination,
                  const CopyProgress& progress) override {
        step(destination, [&] { FileManagerWrapper::copyItem(source, destination, progress); });
    }
    void writeFile(const std::filesystem::path& file, std::string_view bytes,
                   WriteMode mode) override {
        step(file, [&] { FileManagerWrapper::writeFile(file, bytes, mode); });
    }
    void writeFileInPieces(const std::filesystem::path& file,
                           const std::function<void(const ByteSink&)>& produce,
                           WriteMode mode) override {
        step(file, [&] { FileManagerWrapper::writeFileInPieces(file, produce, mode); });
    }
    void synchronize(const std::filesystem::path& item) override {
        step(item, [&] { FileManagerWrapper::synchronize(item); });
    }
    bool synchronizeTree(const std::filesystem::path& item, std::size_t mostItems) override {
        bool flushed = false;
        step(item, [&] { flushed = FileManagerWrapper::synchronizeTree(item, mostItems); });
        return flushed;
    }
    void synchronizeFileSystem(const std::filesystem::path& item) override {
        step(item, [&] { FileManagerWrapper::synchronizeFileSystem(item); });
    }

private:
    void step(const std::filesystem::path& path, const std::function<void()>& operation) {
        const bool failing = ++count == failAt;
        if (!failing || afterwards)
            operation();
        if (failing)
            throw std::filesystem::filesystem_error("injected failure", path, error);
    }
};

} // namespace tovin::testing
