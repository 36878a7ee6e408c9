#pragma once

// The service's log file and its entries.

#include <cstdint>
#include <string>

namespace korin {

struct Platform;

// Severity of a log entry, passed as a plain integer.
enum LogLevel : std::int32_t { Info = 0, Warning = 1, Error = 2 };

// The log file, relative to the working directory; its folders are never
// created, so without them nothing is logged.
inline constexpr wchar_t kLogFilePath[] = L"Tervalon\\Korin\\KorinInstall32.log";

// Decimal text of a signed 32-bit value, as a wide stream writes a long.
std::wstring numberToText(std::int32_t value);
inline std::wstring numberToText(std::uint32_t value) {
    return numberToText(static_cast<std::int32_t>(value));
}

// "code" and "code detail".
std::wstring logCodeMessage(std::int32_t code);
std::wstring logCodeMessage(std::int32_t code, const std::wstring& detail);
// "code lastError": the most common shape, built from the thread's last error.
std::wstring logCodeLastError(std::int32_t code);

// The log's process-wide switches. Written at service start (the settings
// file's verbose switch), before a second thread exists; only read afterwards.
struct LogOptions {
    bool verbose = false;
};
LogOptions& logOptions();

// Appends one UTF-16LE line to the log file. Info and warning entries are
// written only while verbose logging is on. The message's UTF-16 units are
// written as they are, except its controls (U+0000-U+001F, U+007F-U+009F) as
// \xHH and U+2028, U+2029 as \u2028, \u2029: one entry, one line. Never
// fails, never throws.
void writeLog(const Platform& platform, std::int32_t level, std::wstring message);

// writeLog of "code" and of "code number" (a number such as the last
// error, in signed decimal), the message built inside: where memory has run
// out, or nothing may be thrown, an entry that cannot be built is lost like
// one that cannot be written.
void writeLogCode(const Platform& platform, std::int32_t level, std::int32_t code) noexcept;
void writeLogCode(const Platform& platform, std::int32_t level, std::int32_t code,
                  std::uint32_t number) noexcept;
// "code lastError" at the given level: what most failures write.
void logLastError(const Platform& platform, std::int32_t level, std::int32_t code) noexcept;
// An allocation that failed: "code 8" as an error, with 8 left as the last
// error for the caller's own report.
void logOutOfMemory(const Platform& platform, std::int32_t code) noexcept;

// The line writeLog appends for an entry at the given time, without the file.
struct SystemTime;
std::wstring logLine(const SystemTime& time, std::int32_t level, const std::wstring& message);

}  // namespace korin
