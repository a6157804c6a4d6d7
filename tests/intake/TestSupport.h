#pragma once

#include "intake/Loaders.h"
#include "intake/TypeRegistry.h"
#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QThread>
#include <exception>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace tovin::test {

inline bool onMainThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// How a fake provider answers a load of one type: each delivery in turn, after the delay, on a
// thread of its own. No deliveries: the completion is dropped uncalled. With `thrown`, the load
// throws it once that thread has started, as a provider whose load cannot go on would.
struct Answer {
    std::vector<LoadedItem> deliveries;
    std::chrono::milliseconds delay{0};
    std::exception_ptr thrown = nullptr;
};

using Answers = std::map<std::string, Answer, std::less<>>;

// A provider that offers the types it has answers for, and drops the completion of any other.
class FakeProvider final : public ItemProvider {
public:
    explicit FakeProvider(Answers answers)
        : answers_(std::move(answers)) {}

    bool hasItemConformingTo(std::string_view type) const override {
        return std::ranges::any_of(answers_,
                                   [&](const auto& own) { return conformsTo(own.first, type); });
    }

    void loadItem(std::string_view type, ItemCompletion completion) const override {
        requests.emplace_back(type);
        const auto found = answers_.find(type);
        const Answer answer = found == answers_.end() ? Answer{} : found->second;
        threads_.emplace_back([answer, completion = std::move(completion)] {
            for (const auto& loaded : answer.deliveries) {
                std::this_thread::sleep_for(answer.delay);
                completion(loaded);
            }
        });
        if (answer.thrown)
            std::rethrow_exception(answer.thrown);
    }

    // The types asked for, in order; loads start on the main thread only.
    mutable std::vector<std::string> requests;

private:
    Answers answers_;
    mutable std::vector<std::jthread> threads_;
};

// Hands out a file that cannot take a single byte.
class FullDisk final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;
    FileDescriptor createPrivateFile(const std::filesystem::path&) override {
        return FileDescriptor(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    }
};

using Settled = std::variant<QUrl, QString, std::error_code>;

// Runs a loader to its end in a nested event loop: its value, or the error it failed with, after
// checking that it resumed on the main thread. Waiting on the loader itself would hang if it threw.
template <typename T> Settled settle(QCoro::Task<T> loader) {
    return QCoro::waitFor([](QCoro::Task<T> task) -> QCoro::Task<Settled> {
        Settled outcome;
        try {
            outcome = co_await std::move(task);
        } catch (const std::system_error& error) {
            outcome = error.code();
        }
        EXPECT_TRUE(onMainThread());
        co_return outcome;
    }(std::move(loader)));
}

using Loader = std::function<Settled(const ItemProvider&)>;

// The four loaders, run against a provider that gives every type the same answer. Images are
// written to the file manager's temporary folder, named after UUIDs counted from 1.
class IntakeTest : public ::testing::Test {
protected:
    IntakeTest() { environment->variables["TMPDIR"] = folder.path(); }

    static Settled load(const Loader& loader, const Answer& answer) {
        return loader(FakeProvider({{"public.file-url", answer},
                                    {"public.image", answer},
                                    {"public.url", answer},
                                    {"public.plain-text", answer}}));
    }

    QUrl imageFile(int uuid, const char* extension) const {
        const auto name = "tovin-share-" + testing::CountingUUIDSource::text(uuid) + extension;
        return QUrl::fromLocalFile(QString::fromStdString(folder / name));
    }

    testing::TemporaryFolder folder;
    std::shared_ptr<testing::FakeEnvironment> environment =
        std::make_shared<testing::FakeEnvironment>();
    std::shared_ptr<FileManager> files = std::make_shared<PosixFileManager>(environment);
    std::shared_ptr<FileManager> fileManager = files;
    std::shared_ptr<testing::CountingUUIDSource> uuids =
        std::make_shared<testing::CountingUUIDSource>();
    const Loader fileURL = [](auto& provider) { return settle(loadFileURL(provider)); };
    const Loader image = [this](auto& provider) {
        return settle(loadImageData(provider, fileManager, uuids));
    };
    const Loader url = [](auto& provider) { return settle(loadURL(provider)); };
    const Loader text = [](auto& provider) { return settle(loadText(provider)); };
};

} // namespace tovin::test
