#pragma once

#include "intake/ItemProvider.h"
#include "shared/Environment.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"

#include <QCoro/QCoroTask>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

// Readable values in failure messages.
void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QUrl& url, std::ostream* out);

namespace tovin::test {

bool onMainThread();

// How a fake provider answers a load of one type: each delivery in turn, after its delay, on a
// thread of its own. No deliveries: the completion is dropped uncalled.
struct Answer {
    std::vector<LoadedItem> deliveries;
    std::chrono::milliseconds delay{0};
};

Answer deliver(LoadedItem::Item item);
Answer fail(std::error_code error);

// A provider with scripted answers, which notes every load it was asked for.
class FakeProvider final : public ItemProvider {
public:
    FakeProvider(std::vector<std::string> types, std::map<std::string, Answer> answers);

    bool hasItemConformingTo(std::string_view typeIdentifier) const override;
    void loadItem(std::string_view typeIdentifier, ItemCompletion completion) const override;

    std::vector<std::string> requests() const;

    // Called on the main thread when a load starts, for tests that watch the order of events.
    std::function<void()> onLoad;

private:
    std::vector<std::string> types_;
    std::map<std::string, Answer> answers_;
    mutable std::mutex mutex_;
    mutable std::vector<std::string> requests_;
    mutable std::vector<std::jthread> threads_;
};

// The same UUID every time, so that a test can put something in the way of the file name.
class FixedUUIDSource final : public UUIDSource {
public:
    std::string newUUID() override { return "0A1B2C3D-0000-4000-8000-00000000000F"; }
};

class FakeEnvironment final : public Environment {
public:
    explicit FakeEnvironment(std::map<std::string, std::string> variables)
        : variables_(std::move(variables)) {}
    std::optional<std::string> variable(std::string_view name) const override;

private:
    std::map<std::string, std::string> variables_;
};

// A private temporary folder, and a file manager whose temporary folder it is.
struct TemporaryFolder {
    QTemporaryDir dir;
    std::filesystem::path path = dir.path().toStdString();
    std::shared_ptr<FileManager> fileManager;

    TemporaryFolder();
    std::vector<std::filesystem::path> files() const;
};

using Settled = std::variant<QUrl, QString, std::error_code>;

// Runs a loader to its end in a nested event loop; the value, or the error it failed with.
// Checks that the loader resumed on the main thread.
Settled settle(QCoro::Task<QUrl> loader);
Settled settle(QCoro::Task<QString> loader);

} // namespace tovin::test
