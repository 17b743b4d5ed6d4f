// Where a program's help file lies: beside its executable, with the extension replaced by ".chm".
#pragma once

#include <string>

namespace help {

// "C:\Quorle\Quorle.exe" -> "C:\Quorle\Quorle.chm"; a name without an extension gets ".chm" added;
// a dot in a folder name is not an extension. Empty for an empty path.
inline std::wstring HelpFileOf(const std::wstring& exe) {
    if (exe.empty())
        return std::wstring();
    const size_t slash = exe.find_last_of(L"\\/");
    const size_t dot = exe.rfind(L'.');
    const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    return (hasExtension ? exe.substr(0, dot) : exe) + L".chm";
}

} // namespace help
