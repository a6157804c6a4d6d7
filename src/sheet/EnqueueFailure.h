#pragma once

#include <QString>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

namespace tovin {

// The sentence the error line shows after queueing a share into `outbox` failed with `failure`:
// what could not be done, naming the file concerned or tovin's shared folder, and why, in plain
// words of the application's language, such as: Could not copy “IMG_2041.HEIC”: the disk is
// full. It never holds a path of the outbox, an error number or a library's own message.
// `failure` must not be null.
QString enqueueFailureMessage(std::exception_ptr failure, const std::filesystem::path& outbox);

// Why an item could not be read, copied or saved, for `error`, in plain words of the
// application's language that follow a colon, such as "the disk is full"; no value for an error
// that no such words describe.
std::optional<QString> plainReason(std::error_code error);

// The sentence the error line shows when the intake could not take in an item it was given, for
// `error`, in the same plain words: Could not take in everything that was shared: the disk is
// full.
QString intakeLossMessage(std::error_code error);

} // namespace tovin
