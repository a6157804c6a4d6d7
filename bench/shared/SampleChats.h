#pragma once

#include "shared/ChatListSnapshot.h"

#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

// Chat lists as people have them, for the snapshot benchmarks.
namespace tovin::bench {

// Ids the way a chat list has them: people with positive ids of up to ten digits, groups with
// negative ids of thirteen, a few old small ids and the extremes of the range.
inline std::int64_t chatId(std::mt19937_64& random) {
    const auto pick = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    const std::int64_t percent = pick(0, 99);
    if (percent == 0)
        return std::numeric_limits<std::int64_t>::min();
    if (percent == 1)
        return std::numeric_limits<std::int64_t>::max();
    if (percent < 10)
        return pick(1, 99'999);
    if (percent < 40)
        return -1'000'000'000'000 - pick(0, 999'999'999'999);
    return pick(100'000, 9'999'999'999);
}

// Titles of one to a dozen words, mostly ASCII, some in other scripts or with emoji, a few with
// characters the file has to escape (quotes, backslashes, slashes, tabs, line breaks).
inline std::string chatTitle(std::mt19937_64& random) {
    static constexpr std::array words{
        "Anna",    "Ben",         "Family",        "Project", "Weekend",    "Team",
        "Müller",  "Zoë",         "café",          "Семья",   "Работа",     "家族",
        "東京",    "🎉",           "❤️",        "Ωmega",   "\"Quotes\"", "R&D / Ops",
        "C:\\tmp", "line\tbreak", "first\nsecond", "2024",    "book club",  "—"};
    const auto pick = [&](std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(0, high)(random);
    };
    const std::size_t count = 1 + (pick(9) == 0 ? pick(11) : pick(2));
    std::string title = words[pick(words.size() - 1)];
    for (std::size_t i = 1; i < count; ++i)
        title.append(" ").append(words[pick(words.size() - 1)]);
    return title;
}

// `count` chats, the same ones on every run.
inline std::vector<ChatListSnapshot::Entry> makeChats(std::size_t count) {
    std::mt19937_64 random(7);
    std::vector<ChatListSnapshot::Entry> chats;
    chats.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        chats.push_back({chatId(random), chatTitle(random)});
    return chats;
}

} // namespace tovin::bench
