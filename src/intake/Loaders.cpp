#include "intake/Loaders.h"

#include "intake/IntakeError.h"
#include "intake/TemporaryImageFile.h"
#include "intake/TypeRegistry.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <atomic>
#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <variant>

namespace tovin {

namespace {

// Turns a delivered item into the loader's value; no value when the item has no form the loader
// accepts. Runs on the provider's thread.
template <typename T> using Conversion = std::function<std::optional<T>(const LoadedItem::Item&)>;

template <typename T> using Outcome = std::variant<std::monostate, T, std::exception_ptr>;

// Where a load's outcome meets the loader waiting on the main thread.
template <typename T> struct Rendezvous {
    // Taken by whichever settles the load first: the completion handler, or a load that threw.
    std::atomic<bool> settled = false;
    // Written once, by whoever settled the load, before the loader is woken.
    Outcome<T> outcome;
    // The suspended loader; touched on the main thread only.
    std::coroutine_handle<> waiter;
};

// Settles the load with what `make` returns, unless it is settled already, and wakes the loader on
// the main thread through the event loop, whatever thread this runs on.
template <typename T, typename Make>
void settleOnce(const std::shared_ptr<Rendezvous<T>>& rendezvous, Make make) {
    if (rendezvous->settled.exchange(true))
        return;
    rendezvous->outcome = make();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [rendezvous] { rendezvous->waiter.resume(); },
        Qt::QueuedConnection);
}

template <typename T>
Outcome<T> outcomeOf(const LoadedItem& loaded, IntakeError failure, const Conversion<T>& convert) {
    try {
        if (loaded.error)
            throw std::system_error(*loaded.error);
        if (auto value = convert(loaded.item))
            return std::move(*value);
        throw std::system_error(failure);
    } catch (...) {
        return std::current_exception();
    }
}

// Suspends a loader until its load has settled, then resumes it on the main thread.
template <typename T> class LoadAwaiter {
public:
    LoadAwaiter(const ItemProvider& provider, std::string_view typeIdentifier, IntakeError failure,
                Conversion<T> convert)
        : provider_(provider)
        , typeIdentifier_(typeIdentifier)
        , failure_(failure)
        , convert_(std::move(convert)) {}

    bool await_ready() const noexcept { return false; }

    void await_suspend(std::coroutine_handle<> waiter) {
        rendezvous_->waiter = waiter;
        // Held until the load has returned or thrown, so that a throwing load settles before its
        // dropped completion can.
        const ItemCompletion completion([rendezvous = rendezvous_, failure = failure_,
                                         convert = std::move(convert_)](LoadedItem loaded) {
            settleOnce(rendezvous, [&] { return outcomeOf(loaded, failure, convert); });
        });
        try {
            provider_.loadItem(typeIdentifier_, completion);
        } catch (...) {
            // A load that could not start fails like a provider's error.
            settleOnce(rendezvous_,
                       [error = std::current_exception()] { return Outcome<T>(error); });
        }
    }

    T await_resume() {
        if (auto* error = std::get_if<std::exception_ptr>(&rendezvous_->outcome))
            std::rethrow_exception(*error);
        return std::move(std::get<T>(rendezvous_->outcome));
    }

private:
    const ItemProvider& provider_;
    std::string_view typeIdentifier_;
    IntakeError failure_;
    Conversion<T> convert_;
    std::shared_ptr<Rendezvous<T>> rendezvous_ = std::make_shared<Rendezvous<T>>();
};

// "[" and "]" belong only around an IP address written as the host, as in "http://[::1]:80/".
bool bracketsOnlyAroundHost(const QString& text) {
    if (!text.contains(u'[') && !text.contains(u']'))
        return true;
    const QRegularExpression ipLiteralHost(
        R"(^(?:[^:/?#]+:)?//(?:[^/?#@]*@)?\[[^/?#@\[\]]*\](?::[0-9]*)?(?:[/?#]|$))");
    return text.count(u'[') == 1 && text.count(u']') == 1 && ipLiteralHost.match(text).hasMatch();
}

bool isURLCharacter(QChar c) {
    static constexpr std::u16string_view punctuation = u"-._~:/?#[]@!$&'()*+,;=%";
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           punctuation.find(c.unicode()) != std::u16string_view::npos;
}

std::optional<QString> decodeUTF8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

std::optional<QUrl> parseURL(const QString& text) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), isURLCharacter) ||
        text.count(u'#') > 1 || !bracketsOnlyAroundHost(text))
        return std::nullopt;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QCoro::Task<QUrl> loadFileURL(const ItemProvider& provider) {
    LoadAwaiter<QUrl> load(provider, TypeIdentifier::fileURL, IntakeError::noFileURL,
                           [](const LoadedItem::Item& item) -> std::optional<QUrl> {
                               if (const auto* url = std::get_if<QUrl>(&item))
                                   return *url;
                               if (const auto* bytes = std::get_if<QByteArray>(&item)) {
                                   if (const auto text = decodeUTF8(*bytes))
                                       return parseURL(*text);
                               }
                               return std::nullopt;
                           });
    co_return co_await load;
}

QCoro::Task<QUrl> loadImageData(const ItemProvider& provider,
                                std::shared_ptr<FileManager> fileManager,
                                std::shared_ptr<UUIDSource> uuidSource) {
    LoadAwaiter<QUrl> load(
        provider, TypeIdentifier::image, IntakeError::noImage,
        [fileManager, uuidSource](const LoadedItem::Item& item) -> std::optional<QUrl> {
            if (const auto* url = std::get_if<QUrl>(&item))
                return *url;
            return writeTemporaryImageFile(item, *fileManager, *uuidSource);
        });
    co_return co_await load;
}

QCoro::Task<QString> loadURL(const ItemProvider& provider) {
    LoadAwaiter<QString> load(provider, TypeIdentifier::url, IntakeError::noURL,
                              [](const LoadedItem::Item& item) -> std::optional<QString> {
                                  if (const auto* url = std::get_if<QUrl>(&item))
                                      return url->toString(QUrl::FullyEncoded);
                                  const auto* text = std::get_if<QString>(&item);
                                  if (text && parseURL(*text))
                                      return *text;
                                  return std::nullopt;
                              });
    co_return co_await load;
}

QCoro::Task<QString> loadText(const ItemProvider& provider) {
    LoadAwaiter<QString> load(provider, TypeIdentifier::plainText, IntakeError::noText,
                              [](const LoadedItem::Item& item) -> std::optional<QString> {
                                  if (const auto* text = std::get_if<QString>(&item))
                                      return *text;
                                  if (const auto* bytes = std::get_if<QByteArray>(&item))
                                      return decodeUTF8(*bytes);
                                  return std::nullopt;
                              });
    co_return co_await load;
}

} // namespace tovin
