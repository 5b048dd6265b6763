// The printf subset behind the string library's format(), kept free of the VM so it can be tested alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sqstd {

struct FormatArg {
    enum class Type { Integer, Float, String, Other };
    Type type = Type::Other;
    int32_t integer = 0;
    float real = 0.0f;
    const char* text = nullptr;  // NUL-terminated; borrowed for the call
};

// The longest text a script string can hold.
constexpr size_t MaxStringLength = 0x7FFFFF00;

// Formats the NUL-terminated fmt with the given arguments, appending to out, which may grow to
// maxLength bytes. Returns nullptr on success or the script-visible error text.
const char* FormatValues(const char* fmt, const FormatArg* args, size_t argCount, std::string& out,
                         size_t maxLength = MaxStringLength);

// Float to integer as the original 32-bit runtime truncated it: toward zero, and the
// "integer indefinite" value INT32_MIN for NaN and anything out of range.
int32_t TruncateToInteger(float value);

}  // namespace sqstd
