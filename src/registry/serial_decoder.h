#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace registry {

// The volume serial number of the drive whose root path is given ("C:\"); null when the
// volume information cannot be obtained. Throws db::Error for a serial number the
// environment gives in a form it cannot read.
using VolumeSerialSource = std::function<std::optional<std::uint32_t>(const std::string& rootPath)>;

// This machine's volume serial numbers: drive C: is the root file system, its serial
// number the environment variable SQLUPGRADE_VOLUME_SERIAL when set (decimal, signed or
// not, or the "1A2B-3C4D" form a Windows volume listing shows), else the low 32 bits of
// the root file system's id (statvfs). Other drives have no volume information.
std::optional<std::uint32_t> systemVolumeSerial(const std::string& rootPath);

// Decodes the stored password of the registry, which is scrambled with a key bound to
// the machine: the volume serial number of drive C: as signed decimal text (the machine
// value). The machine value is obtained once it is not empty and kept for the object's
// lifetime; processSerialDecoder() is the one the program uses, so it is obtained once
// per process. Unexpected errors are reported to the error reporter (modEncriptSerial,
// the routine's name, the description alone) and the routine answers the empty text; a
// failing reporter throws to the caller. Single-threaded.
class SerialDecoder {
public:
    explicit SerialDecoder(VolumeSerialSource volumeSerial = systemVolumeSerial);

    // The clear text of a stored text, of the same length; the empty text after a
    // failure. The stored text is taken in Windows-1252 codes (a character the code page
    // lacks counts as "?"). The key is the machine value; each stored code c, with the
    // key's codes k taken in turn and from the first again after the last, gives c - k,
    // or for the escape codes 248 to 255 the fixed bases 157, 36, 144, 143, 141, 35, 127,
    // 129 minus k. A clear code outside 0 to 255, an empty key or one longer than 30
    // characters is an error. Example with machine value "12" (codes 49 and 50): "‚„"
    // (codes 130 and 132) -> "QR" (codes 81 and 82).
    std::string DencriptSerial(const std::string& stored);

    // The machine value: drive C:'s serial number as signed decimal text ("-1" for
    // 0xFFFFFFFF, "0" without volume information), or the empty text after a failure.
    // Kept for the later decodings.
    std::string GetSerialNumber();

    // The serial number of the drive named by the first character of `drive` (blanks
    // around it ignored) as signed decimal text, or the empty text after a failure;
    // `drive` becomes the drive's root path ("c" -> "c:\").
    std::string ObterInfoDrive(std::string& drive);

private:
    VolumeSerialSource m_volumeSerial;
    std::string m_machineValue;
};

// The decoder of this process, reading this machine's volume serial numbers.
SerialDecoder& processSerialDecoder();

}  // namespace registry
