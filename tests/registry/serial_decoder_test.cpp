#include "registry/serial_decoder.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include "db/error.h"
#include "recording_reporter.h"
#include "registry/text_encoding.h"
#include "registry_files.h"
#include "scoped_environment.h"

namespace registry {
namespace {

using testing_support::storedPassword;

// A volume source that answers one serial number for drive C: and counts its calls.
struct FakeVolumes {
    std::optional<std::uint32_t> serial;
    int calls = 0;
    VolumeSerialSource source() {
        return [this](const std::string& rootPath) -> std::optional<std::uint32_t> {
            ++calls;
            EXPECT_EQ(rootPath, "C:\\");
            return serial;
        };
    }
};

class SerialDecoding : public ::testing::Test {
protected:
    testing_support::RecordingReporter recorder;
    report::ScopedErrorReporter scope{recorder};
};

TEST_F(SerialDecoding, AStoredPasswordDecodesBackForItsMachine) {
    struct Case {
        std::uint32_t serial;
        std::string machineValue;
        std::string clear;
    };
    const Case cases[] = {
        {1000, "1000", "SEGURANÇA"},                     // Ç at a key code of 48
        {static_cast<std::uint32_t>(-5), "-5", "Ãb"},    // a negative serial: key "-5"
        {439041101, "439041101", "uma frase mais longa que a chave"},
        {0, "0", ""},
    };
    for (const Case& c : cases) {
        FakeVolumes volumes{c.serial};
        SerialDecoder decoder(volumes.source());
        EXPECT_EQ(decoder.GetSerialNumber(), c.machineValue);
        const std::string stored = storedPassword(c.clear, c.machineValue);
        EXPECT_EQ(decoder.DencriptSerial(stored), c.clear) << c.machineValue;
    }
    // The same stored text on another machine gives another text of the same length.
    FakeVolumes other{2000};
    const std::string elsewhere = SerialDecoder(other.source()).DencriptSerial(storedPassword("SEGURANÇA", "1000"));
    EXPECT_NE(elsewhere, "SEGURANÇA");
    EXPECT_EQ(characterCount(elsewhere), 9u);
    EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(SerialDecoding, EscapeCodesTakeTheirBaseAndOutOfRangeCodesFail) {
    // Key "1" (code 49); each stored code alone, the clear text empty after a failure.
    const std::vector<std::pair<unsigned char, std::string>> cases = {
        {248, "l"},  {249, ""},  {250, "_"}, {251, "^"},
        {252, "\\"}, {253, ""},  {254, "N"}, {255, "P"},
        {200, "—"},  // 151, the em dash of Windows-1252
        {49, std::string(1, '\0')},
        {48, ""}};
    FakeVolumes volumes{1};
    SerialDecoder decoder(volumes.source());
    for (const auto& [code, clear] : cases) {
        const std::string stored = windows1252ToUtf8(std::string(1, static_cast<char>(code)));
        EXPECT_EQ(decoder.DencriptSerial(stored), clear) << int(code);
    }
    ASSERT_EQ(recorder.reports.size(), 3u);
    EXPECT_EQ(recorder.reports[0], (std::vector<std::string>{"EncriptSerial", "EncriptSerial",
                                                             "modEncriptSerial", "DencriptSerial",
                                                             "Invalid procedure call or argument"}));
}

TEST_F(SerialDecoding, TheMachineValueIsObtainedOnceItIsNotEmpty) {
    int calls = 0;
    bool failing = true;
    SerialDecoder decoder([&](const std::string&) -> std::optional<std::uint32_t> {
        ++calls;
        if (failing) throw db::Error(5, "SQLUPGRADE_VOLUME_SERIAL is not a volume serial number: x");
        return 7;
    });
    // No machine value: the key is empty, so nothing decodes.
    EXPECT_EQ(decoder.DencriptSerial("abc"), "");
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(recorder.reports.size(), 2u);
    EXPECT_EQ(recorder.reports[0][3], "ObterInfoDrive");
    EXPECT_EQ(recorder.reports[0][4], "SQLUPGRADE_VOLUME_SERIAL is not a volume serial number: x");
    EXPECT_EQ(recorder.reports[1][3], "DencriptSerial");
    EXPECT_EQ(recorder.reports[1][4], "Subscript out of range");

    failing = false;
    EXPECT_EQ(decoder.DencriptSerial(storedPassword("abc", "7")), "abc");
    EXPECT_EQ(calls, 3);  // obtained as the routine says: two drive queries
    EXPECT_EQ(decoder.DencriptSerial(storedPassword("xyz", "7")), "xyz");
    EXPECT_EQ(calls, 3);
}

TEST_F(SerialDecoding, NoVolumeInformationIsTheMachineValueZero) {
    FakeVolumes volumes{std::nullopt};
    SerialDecoder decoder(volumes.source());
    EXPECT_EQ(decoder.DencriptSerial(storedPassword("sa", "0")), "sa");
    std::string drive = "  cdrom";
    EXPECT_EQ(SerialDecoder([](const std::string&) { return std::nullopt; }).ObterInfoDrive(drive), "0");
    EXPECT_EQ(drive, "c:\\");
}

TEST(SystemVolumeSerial, TheEnvironmentOrTheRootFileSystemGivesDriveC) {
    const std::vector<std::pair<std::string, std::uint32_t>> given = {
        {"439041101", 439041101u}, {"-1", 0xFFFFFFFFu}, {"4294967295", 0xFFFFFFFFu},
        {" 1A2B-3C4D ", 0x1A2B3C4Du}, {"-2147483648", 0x80000000u}};
    for (const auto& [text, serial] : given) {
        testsupport::ScopedEnvironment environment("SQLUPGRADE_VOLUME_SERIAL", text);
        EXPECT_EQ(systemVolumeSerial("C:\\"), serial) << text;
        EXPECT_EQ(systemVolumeSerial("D:\\"), std::nullopt);
    }
    for (const char* bad : {"4294967296", "-2147483649", "12ab", "1A2B-3C4G"}) {
        testsupport::ScopedEnvironment environment("SQLUPGRADE_VOLUME_SERIAL", bad);
        EXPECT_THROW(systemVolumeSerial("C:\\"), db::Error) << bad;
    }
    testsupport::ScopedEnvironment environment("SQLUPGRADE_VOLUME_SERIAL", std::nullopt);
    struct statvfs root {};
    ASSERT_EQ(statvfs("/", &root), 0);
    EXPECT_EQ(systemVolumeSerial("c:\\"), static_cast<std::uint32_t>(root.f_fsid & 0xFFFFFFFFu));
}

}  // namespace
}  // namespace registry
