#include "registry/serial_decoder.h"

#include <sys/statvfs.h>

#include <array>
#include <cstdlib>
#include <string_view>

#include "db/error.h"
#include "registry/text_encoding.h"
#include "registry/unexpected_error.h"
#include "report/error_reporter.h"

namespace registry {
namespace {

// The clear-code bases of the escape codes 248 to 255.
constexpr std::array<int, 8> kEscapeBases = {157, 36, 144, 143, 141, 35, 127, 129};
constexpr int kFirstEscapeCode = 248;
constexpr std::size_t kMaxKeyCharacters = 30;

// Runs a routine's body, reporting what it throws under modEncriptSerial; a failing
// routine answers the empty text.
template <class Body>
std::string reportingErrors(const char* procedure, Body&& body) {
    return registry::reportingErrors(report::reportErrorDescription, report::kModEncriptSerial,
                                     procedure, std::string(), std::forward<Body>(body));
}

db::Error invalidProcedureCall() { return db::Error(5, "Invalid procedure call or argument"); }
db::Error subscriptOutOfRange() { return db::Error(9, "Subscript out of range"); }

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "439041101", "-5", "4294967295" or "1A2B-3C4D" as a 32-bit serial number.
std::optional<std::uint32_t> parseSerial(std::string_view text) {
    if (text.size() == 9 && text[4] == '-') {
        std::string digits = std::string(text.substr(0, 4)) + std::string(text.substr(5));
        for (char c : digits) {
            if (!isHexDigit(c)) return std::nullopt;
        }
        return static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    }
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    long long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (negative ? n > 2147483648LL : n > 4294967295LL) return std::nullopt;
    return static_cast<std::uint32_t>(negative ? -n : n);
}

}  // namespace

std::optional<std::uint32_t> systemVolumeSerial(const std::string& rootPath) {
    if (rootPath != "C:\\" && rootPath != "c:\\") return std::nullopt;
    if (const char* given = std::getenv("SQLUPGRADE_VOLUME_SERIAL"); given && *given) {
        const std::optional<std::uint32_t> serial = parseSerial(trimSpaces(given));
        if (!serial) {
            throw db::Error(5, std::string("SQLUPGRADE_VOLUME_SERIAL is not a volume serial number: ") +
                                   given);
        }
        return serial;
    }
    struct statvfs root {};
    if (statvfs("/", &root) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(root.f_fsid & 0xFFFFFFFFu);
}

SerialDecoder::SerialDecoder(VolumeSerialSource volumeSerial)
    : m_volumeSerial(std::move(volumeSerial)) {}

std::string SerialDecoder::DencriptSerial(const std::string& stored) {
    return reportingErrors("DencriptSerial", [&] {
        if (m_machineValue.empty()) m_machineValue = GetSerialNumber();
        const std::string key = utf8ToWindows1252(m_machineValue);
        if (key.size() > kMaxKeyCharacters) throw subscriptOutOfRange();
        const std::string codes = utf8ToWindows1252(stored);
        std::string clear(codes.size(), '\0');
        for (std::size_t i = 0; i < codes.size(); ++i) {
            if (key.empty()) throw subscriptOutOfRange();
            const int k = static_cast<unsigned char>(key[i % key.size()]);
            const int c = static_cast<unsigned char>(codes[i]);
            const int code = c >= kFirstEscapeCode ? kEscapeBases[c - kFirstEscapeCode] - k : c - k;
            if (code < 0 || code > 255) throw invalidProcedureCall();
            clear[i] = static_cast<char>(code);
        }
        return windows1252ToUtf8(clear);
    });
}

std::string SerialDecoder::GetSerialNumber() {
    return reportingErrors("GetSerialNumber", [&] {
        std::string drive = "C";
        std::string machineValue = ObterInfoDrive(drive);
        if (!machineValue.empty()) {
            // The drive is asked again with its letter set anew (the first call made it
            // the root C:\). A string of its own: assigning the letter to the old one makes
            // GCC 12 at -O3 warn of an overlapping copy that cannot happen.
            std::string again = "C";
            machineValue = ObterInfoDrive(again);
        }
        m_machineValue = machineValue;
        return machineValue;
    });
}

std::string SerialDecoder::ObterInfoDrive(std::string& drive) {
    return reportingErrors("ObterInfoDrive", [&] {
        drive = std::string(trimSpaces(drive).substr(0, 1)) + ":\\";
        const std::uint32_t serial = m_volumeSerial(drive).value_or(0);
        return std::to_string(static_cast<std::int32_t>(serial));
    });
}

SerialDecoder& processSerialDecoder() {
    static SerialDecoder decoder;
    return decoder;
}

}  // namespace registry
