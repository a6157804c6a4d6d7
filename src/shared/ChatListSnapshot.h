#pragma once

#include "shared/FileManager.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// "chats.json": the host application's copy of its chat list, which the share sheet lists.
namespace tovin::ChatListSnapshot {

struct Entry {
    std::int64_t id;
    std::string title;

    bool operator==(const Entry&) const = default;
};

// The entries of the snapshot at `file`, in file order. Never fails: a missing, unreadable or
// malformed snapshot, or a single bad element in it, gives the empty list.
std::vector<Entry> read(const std::filesystem::path& file, FileManager& fileManager);

// The entries in the snapshot text `json`, or `DecodeError` naming the first thing that is wrong.
// A snapshot is a JSON array of objects, each with "id" (a number with an integral value in the
// signed 64-bit range) and "title" (a string); other keys are ignored.
std::vector<Entry> decode(std::string_view json);

// Replaces the snapshot at `file` atomically, creating its folder when missing. Throws the first
// failure (`std::filesystem::filesystem_error` from the disk; `std::system_error` with
// `std::errc::illegal_byte_sequence`, before anything is written, for a title that is not UTF-8);
// the snapshot that was there stays as it was.
void write(const std::vector<Entry>& entries, const std::filesystem::path& file,
           FileManager& fileManager);

} // namespace tovin::ChatListSnapshot
