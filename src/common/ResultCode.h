// Result codes of the storage layer and the data model.
//
// A result code is a 32-bit signed integer in the HRESULT convention: 0 is success, a negative
// value is a failure. A failed system call becomes (errno AND 0xFFFF) OR 0x80070000 when errno is
// positive, else errno itself (so a missing file is 0x80070002). Header-only; any thread.
#pragma once

#include <cerrno>
#include <cstdint>

namespace Norik {

using HResult = std::int32_t;

inline constexpr HResult kOk = 0;
// A read that delivered fewer bytes than demanded (E_FAIL).
inline constexpr HResult kFail = static_cast<HResult>(0x80004005u);

// Compound-file (structured storage) codes, STG_E_*.
inline constexpr HResult kStgFileNotFound = static_cast<HResult>(0x80030002u);
inline constexpr HResult kStgPathNotFound = static_cast<HResult>(0x80030003u);
inline constexpr HResult kStgAccessDenied = static_cast<HResult>(0x80030005u);
inline constexpr HResult kStgInsufficientMemory = static_cast<HResult>(0x80030008u);
inline constexpr HResult kStgInvalidFunction = static_cast<HResult>(0x80030001u);
inline constexpr HResult kStgReadFault = static_cast<HResult>(0x8003001Eu);
inline constexpr HResult kStgInvalidHeader = static_cast<HResult>(0x800300FBu);
inline constexpr HResult kStgInvalidName = static_cast<HResult>(0x800300FCu);
inline constexpr HResult kStgDocfileCorrupt = static_cast<HResult>(0x80030109u);
inline constexpr HResult kStgOldFormat = static_cast<HResult>(0x80030104u);

// Our own codes (interface facility).
// A data file of the base holds less than it announces, or bytes that cannot belong to it.
inline constexpr HResult kDataDamaged = static_cast<HResult>(0x80040200u);
// A data file that is a folder's sibling of another kind: a FIFO, a device, a socket.
inline constexpr HResult kNotRegularFile = static_cast<HResult>(0x80040201u);
// A data file or entry that states a size past the bounds of BaseLimits.h.
inline constexpr HResult kDataTooLarge = static_cast<HResult>(0x80040202u);

// Converts a system error number by the rule above.
constexpr HResult SystemErrorCode(int error) {
    return error > 0 ? static_cast<HResult>((static_cast<std::uint32_t>(error) & 0xFFFFu) | 0x80070000u)
                     : static_cast<HResult>(error);
}

// The code of the calling thread's last system error (errno).
inline HResult LastSystemErrorCode() { return SystemErrorCode(errno); }

constexpr bool Failed(HResult code) { return code < 0; }
constexpr bool Succeeded(HResult code) { return code >= 0; }

}  // namespace Norik
