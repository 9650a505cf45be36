// Why a library call found the archive damaged, for GetLastErrorText. A backend records a
// reason where it finds a fault; the exported functions forget it when called and settle on the
// reason for the code they answer. Reasons are kept per thread, as the program tests several
// archives at once with one library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnelt::archiver {

// Records reason as why the call fails with code and answers code, so that a failure site stays
// one line: `return failWith(VARNELT_ARC_ERROR_FILE_CRC, inEntry("CRC mismatch", name, n));`.
// Reasons are short English, start in lower case and end without a period; a later one replaces
// an earlier one, and an empty one records nothing. Never throws, so that decoders called back
// from C libraries may record too.
int32_t failWith(int32_t code, std::string_view reason) noexcept;

// The reason recorded for code during the current call; empty when the last one recorded was for
// another code, or none was.
std::string_view recordedReason(int32_t code);

// An entry as reasons name it: its name (UTF-8, empty when not known) and its place in the
// archive, from 1.
struct EntryLabel {
    std::string name;
    uint64_t number = 0;
};

// "what in name", or "what at entry number" when the name is not known.
std::string inEntry(std::string_view what, std::string_view name, uint64_t number);

// Names the entry in the reason recorded for code (the code's plain text when none was), for
// faults found where the entry is not known, and answers code. A pass or a file of another
// format is left as it is.
int32_t failIn(int32_t code, std::string_view name, uint64_t number) noexcept;

// For the exported functions only.
// Forgets the reasons of the previous call.
void clearFailure() noexcept;
// Settles on the reason that GetLastErrorText gives for a call that answers code, and answers
// code: the one recorded for it, else a plain text for the code; none when the archive passed
// or is not of this format.
int32_t settleFailure(int32_t code) noexcept;
// GetLastErrorText: the settled reason, cut on a character boundary, NUL-ended when size > 0.
int32_t copySettledFailure(char* buffer, int32_t size) noexcept;

}  // namespace varnelt::archiver
