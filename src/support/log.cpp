#include "support/log.h"

#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "ground/text.h"

#include <exception>
#include <mutex>
#include <new>

namespace korin {

std::wstring numberToText(std::int32_t value) {
    // Built by hand: no locale may add grouping.
    std::int64_t wide = value;
    bool negative = wide < 0;
    if (negative) {
        wide = -wide;
    }
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + wide % 10));
        wide /= 10;
    } while (wide != 0);
    if (negative) {
        digits.insert(digits.begin(), L'-');
    }
    return digits;
}

std::wstring logCodeMessage(std::int32_t code) {
    return numberToText(code);
}

std::wstring logCodeMessage(std::int32_t code, const std::wstring& detail) {
    return numberToText(code) + L" " + detail;
}

std::wstring logCodeLastError(std::int32_t code) {
    return logCodeMessage(code, numberToText(lastError()));
}

namespace {

const wchar_t* levelWord(std::int32_t level) {
    switch (level) {
        case Info:
            return L"info";
        case Warning:
            return L"warning";
        default:
            return L"error";
    }
}

// Server text reaches the log (a manifest's rest, paths built from version
// texts): its line breaks and other controls are written as \xHH, and the
// Unicode line and paragraph separators as \u2028 and \u2029, so that every
// entry stays one line. A backslash stays as it is, since paths are full of
// them.
void appendVisible(std::wstring& line, const std::wstring& message) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    for (wchar_t c : message) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
            line += L"\\x";
            line += kHex[code >> 4];
            line += kHex[code & 0xF];
        } else if (code == 0x2028 || code == 0x2029) {
            line += L"\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                line += kHex[(code >> shift) & 0xF];
            }
        } else {
            line += c;
        }
    }
}

}  // namespace

std::wstring logLine(const SystemTime& time, std::int32_t level, const std::wstring& message) {
    std::wstring line;
    line.reserve(message.size() + 40);
    line += numberToText(std::int32_t{time.year}) + L"-" + numberToText(std::int32_t{time.month}) +
            L"-" + numberToText(std::int32_t{time.day}) + L"+" +
            numberToText(std::int32_t{time.hour}) + L"-" + numberToText(std::int32_t{time.minute}) +
            L"-" + numberToText(std::int32_t{time.second}) + L"." +
            numberToText(std::int32_t{time.milliseconds});
    line += L" [";
    line += levelWord(level);
    line += L"] ";
    appendVisible(line, message);
    line += L"\r\n";
    return line;
}

namespace {

std::mutex& logFileMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

LogOptions& logOptions() {
    static LogOptions options;
    return options;
}

void writeLog(const Platform& platform, std::int32_t level, std::wstring message) {
    if (level != Error && !logOptions().verbose) {
        return;
    }
    // Logging must not disturb the caller's view of the last error.
    const std::uint32_t savedError = lastError();
    try {
        // The units as they are: an unpaired surrogate is written, not replaced.
        const std::u16string units =
            utf16UnitsOf(logLine(platform.clock->systemTime(), level, message));
        std::string bytes;
        bytes.reserve(units.size() * 2);
        for (char16_t unit : units) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
        // The service thread and the control thread both log: one entry's
        // open, append and close at a time, so entries never interleave.
        std::lock_guard<std::mutex> lock(logFileMutex());
        auto file = platform.files->openFile(kLogFilePath, FileOpenMode::AppendAlways);
        if (file) {
            file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        }
    } catch (const std::exception&) {
        // An entry that cannot be written is lost; the caller goes on.
    }
    setLastError(savedError);
}

void writeLogCode(const Platform& platform, std::int32_t level, std::int32_t code) noexcept {
    if (level != Error && !logOptions().verbose) {
        return;
    }
    try {
        writeLog(platform, level, logCodeMessage(code));
    } catch (const std::bad_alloc&) {
        // Lost, as writeLog loses an entry it cannot write.
    }
}

void writeLogCode(const Platform& platform, std::int32_t level, std::int32_t code,
                  std::uint32_t number) noexcept {
    if (level != Error && !logOptions().verbose) {
        return;
    }
    try {
        writeLog(platform, level, logCodeMessage(code, numberToText(number)));
    } catch (const std::bad_alloc&) {
        // Lost, as writeLog loses an entry it cannot write.
    }
}

void logLastError(const Platform& platform, std::int32_t level, std::int32_t code) noexcept {
    writeLogCode(platform, level, code, lastError());
}

void logOutOfMemory(const Platform& platform, std::int32_t code) noexcept {
    setLastError(kErrorNotEnoughMemory);
    writeLogCode(platform, Error, code, kErrorNotEnoughMemory);
}

}  // namespace korin
