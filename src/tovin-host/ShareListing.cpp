#include "tovin-host/ShareListing.h"

#include "shared/Printable.h"
#include "tovin-host/CommandLine.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

namespace tovin::host {

namespace {

namespace fs = std::filesystem;

std::string_view firstLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// ISO 8601 in UTC with milliseconds; a time outside years 0 to 9999 as its count of milliseconds.
std::string isoTime(ShareOutbox::Timestamp time) {
    using namespace std::chrono;
    const double milliseconds1970 = time.time_since_epoch().count();
    if (!(milliseconds1970 >= -62167219200000.0 && milliseconds1970 < 253402300800000.0)) {
        std::ostringstream raw;
        raw.precision(15);
        raw << milliseconds1970 << " ms";
        return raw.str();
    }
    const sys_time<milliseconds> instant = floor<milliseconds>(time);
    const sys_days day = floor<days>(instant);
    const year_month_day date(day);
    const hh_mm_ss clock(instant - day);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count()));
    return text.data();
}

// The manifest's own JSON, so that keys and forms are exactly those of "manifest.json", with the
// entry's id, folder and attachment locations added.
nlohmann::json shareJSON(const ShareOutbox::PendingShare& share) {
    nlohmann::json json = nlohmann::json::parse(share.manifest.encode());
    json["id"] = share.id;
    json["folder"] = share.folder.string();
    json["attachmentURLs"] = nlohmann::json::array();
    for (const fs::path& location : share.attachmentURLs())
        json["attachmentURLs"].push_back(location.string());
    return json;
}

} // namespace

void writeShareLine(const ShareOutbox::PendingShare& share, std::ostream& out) {
    const ShareOutbox::Manifest& manifest = share.manifest;
    out << printable(share.id) << '\t' << isoTime(manifest.createdAt) << '\t' << manifest.chatId
        << '\t' << printable(firstLine(manifest.text.value_or(""))) << '\t'
        << printable(manifest.url.value_or("")) << '\t' << manifest.attachments.size() << '\n';
}

int listShares(const Context& context, bool asJSON) {
    const std::optional<ShareOutbox> shares = sharedOutbox(context);
    if (!shares)
        return failure;

    const std::vector<ShareOutbox::PendingShare> pending = shares->pending();
    if (asJSON) {
        nlohmann::json list = nlohmann::json::array();
        for (const ShareOutbox::PendingShare& share : pending)
            list.push_back(shareJSON(share));
        // Folder names are bytes; one that is not UTF-8 is shown with replacement characters.
        context.out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        for (const ShareOutbox::PendingShare& share : pending)
            writeShareLine(share, context.out);
    }
    return success;
}

} // namespace tovin::host
