#include "plugins/shared/plugin_abi.h"

#include <cstring>

namespace plugin_abi {

int CopyPluginInfo(const char* const* table, int count, int infono, char* buf, int buflen) {
    if (infono < 0 || infono >= count || !buf || buflen <= 0)
        return 0;
    const size_t len = std::strlen(table[infono]);
    const size_t n = len < static_cast<size_t>(buflen) - 1 ? len : static_cast<size_t>(buflen) - 1;
    std::memcpy(buf, table[infono], n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

} // namespace plugin_abi
