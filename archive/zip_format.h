// The ZIP records' fixed values, shared by the reader and the writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive::zipformat {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kDirectorySignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr size_t kLocalSize = 30;
constexpr size_t kDirectorySize = 46;
constexpr size_t kEndSize = 22;
constexpr uint16_t kFlagDataDescriptor = 0x0008; // sizes and CRC follow the data
constexpr uint16_t kFlagUtf8 = 0x0800;           // the name is UTF-8
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;

} // namespace archive::zipformat
