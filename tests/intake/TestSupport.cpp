#include "TestSupport.h"

#include "intake/TypeRegistry.h"
#include "shared/PosixFileManager.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QUrl& url, std::ostream* out) {
    *out << '<' << url.toString().toStdString() << '>';
}

namespace tovin::test {

bool onMainThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

Answer deliver(LoadedItem::Item item) {
    return {{LoadedItem{std::move(item), std::nullopt}}};
}

Answer fail(std::error_code error) {
    return {{LoadedItem{{}, error}}};
}

FakeProvider::FakeProvider(std::vector<std::string> types, std::map<std::string, Answer> answers)
    : types_(std::move(types))
    , answers_(std::move(answers)) {}

bool FakeProvider::hasItemConformingTo(std::string_view typeIdentifier) const {
    return std::ranges::any_of(
        types_, [&](const std::string& type) { return conformsTo(type, typeIdentifier); });
}

void FakeProvider::loadItem(std::string_view typeIdentifier, ItemCompletion completion) const {
    if (onLoad)
        onLoad();
    const std::string type(typeIdentifier);
    const auto answer = answers_.contains(type)
                            ? answers_.at(type)
                            : fail(std::make_error_code(std::errc::not_supported));
    const std::scoped_lock lock(mutex_);
    requests_.push_back(type);
    threads_.emplace_back([answer, completion = std::move(completion)] {
        for (const auto& loaded : answer.deliveries) {
            std::this_thread::sleep_for(answer.delay);
            completion(loaded);
        }
    });
}

std::vector<std::string> FakeProvider::requests() const {
    const std::scoped_lock lock(mutex_);
    return requests_;
}

std::optional<std::string> FakeEnvironment::variable(std::string_view name) const {
    const auto found = variables_.find(std::string(name));
    return found == variables_.end() ? std::nullopt : std::optional(found->second);
}

TemporaryFolder::TemporaryFolder()
    : fileManager(std::make_shared<PosixFileManager>(std::make_shared<FakeEnvironment>(
          std::map<std::string, std::string>{{"TMPDIR", path.string()}}))) {}

std::vector<std::filesystem::path> TemporaryFolder::files() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        files.push_back(entry.path());
    std::ranges::sort(files);
    return files;
}

namespace {

template <typename T> QCoro::Task<Settled> settled(QCoro::Task<T> loader) {
    try {
        T value = co_await std::move(loader);
        EXPECT_TRUE(onMainThread());
        co_return value;
    } catch (const std::system_error& error) {
        EXPECT_TRUE(onMainThread());
        co_return error.code();
    }
}

} // namespace

Settled settle(QCoro::Task<QUrl> loader) {
    return QCoro::waitFor(settled(std::move(loader)));
}

Settled settle(QCoro::Task<QString> loader) {
    return QCoro::waitFor(settled(std::move(loader)));
}

} // namespace tovin::test
