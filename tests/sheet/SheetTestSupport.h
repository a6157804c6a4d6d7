#pragma once

#include "intake/ValueItemProvider.h"
#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"
#include "shared/SharedContainer.h"
#include "sheet/SheetServices.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <QTest>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace tovin::test {

using Log = std::vector<std::string>;

// The request, the notifier and the URL opener, writing what is done to them into one log.
class RecordingRequest final : public ShareRequest {
public:
    RecordingRequest(Log& log, std::vector<InputItem> items)
        : log_(log)
        , items_(std::move(items)) {}
    const std::vector<InputItem>& inputItems() const override { return items_; }
    void complete() override { log_.push_back("complete"); }
    void cancel(std::error_code error) override {
        log_.push_back(std::string("cancel ") + error.category().name() + " " +
                       std::to_string(error.value()));
    }

private:
    Log& log_;
    std::vector<InputItem> items_;
};

class RecordingNotifier final : public Notifier {
public:
    explicit RecordingNotifier(Log& log)
        : log_(log) {}
    void post() override { log_.push_back("post"); }

private:
    Log& log_;
};

class RecordingOpener final : public URLOpener {
public:
    explicit RecordingOpener(Log& log)
        : log_(log) {}
    void open(const QUrl& url) override { log_.push_back("open " + url.toString().toStdString()); }

private:
    Log& log_;
};

// A file attachment whose load completes only when the test says so.
class HeldFileProvider final : public ItemProvider {
public:
    bool hasItemConformingTo(std::string_view type) const override {
        return type == "public.file-url" || type == "public.url" || type == "public.data";
    }
    void loadItem(std::string_view, ItemCompletion completion) const override {
        completion_.emplace(std::move(completion));
    }
    bool asked() const { return completion_.has_value(); }
    void deliver(const std::filesystem::path& file) const {
        std::jthread([completion = *completion_, file] {
            completion(LoadedItem{QUrl::fromLocalFile(QString::fromStdString(file))});
        });
    }

private:
    mutable std::optional<ItemCompletion> completion_;
};

// Copies every file as told, but first reports a quarter of it four times, `pause` apart.
class SlowCopies final : public FileManagerWrapper {
public:
    SlowCopies(std::shared_ptr<FileManager> disk, std::chrono::milliseconds pause)
        : FileManagerWrapper(std::move(disk))
        , pause_(pause) {}
    void copyItem(const std::filesystem::path& source, const std::filesystem::path& destination,
                  const CopyProgress& progress) override {
        const std::uintmax_t size = contentSize(source);
        for (int piece = 0; piece < 4; ++piece) {
            std::this_thread::sleep_for(pause_);
            if (progress)
                progress(size / 4 + (piece == 3 ? size % 4 : 0));
        }
        FileManagerWrapper::copyItem(source, destination, {});
    }

private:
    std::chrono::milliseconds pause_;
};

// A temporary home holding the shared root, with a chat list and files to share, and services
// that record what they are asked to do.
struct Home {
    Home() {
        ChatListSnapshot::write({{7, "Alpha"}, {-2, "beta"}, {9007199254740993, "Gamma"}},
                                *SharedContainer::chatSnapshotURL(*environment), *disk);
    }

    std::shared_ptr<const ItemProvider> file(const std::string& name, std::string bytes = "bytes") {
        std::ofstream(folder / name) << bytes;
        return makeFileProvider(folder / name);
    }

    SheetServices services(std::optional<std::vector<InputItem>> items) {
        return {items ? std::make_shared<RecordingRequest>(log, std::move(*items)) : nullptr,
                environment,
                files,
                uuids,
                std::make_shared<testing::FixedClock>(std::chrono::system_clock::time_point()),
                std::make_shared<RecordingNotifier>(log),
                std::make_shared<RecordingOpener>(log)};
    }

    std::vector<ShareOutbox::PendingShare> queued() const {
        return ShareOutbox(outbox, disk).pending();
    }

    testing::TemporaryFolder folder;
    std::shared_ptr<testing::FakeEnvironment> environment = [this] {
        auto environment = std::make_shared<testing::FakeEnvironment>();
        environment->variables["HOME"] = folder.path();
        environment->variables["TMPDIR"] = folder.path();
        return environment;
    }();
    std::shared_ptr<FileManager> disk = std::make_shared<PosixFileManager>(environment);
    std::shared_ptr<FileManager> files = disk;
    std::shared_ptr<UUIDSource> uuids = std::make_shared<testing::CountingUUIDSource>();
    const std::filesystem::path outbox = *SharedContainer::outboxDirectory(*environment);
    Log log;
};

} // namespace tovin::test
