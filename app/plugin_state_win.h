// The program's side of the plug-in host: the host each operation is given (folder, excluded list and
// the plug-in lock, as the settings stood when last applied), the extension lists the panes and the
// tree work from, and the hooks through which the decoders and the archive layer reach the plug-ins.
#pragma once

#include <string>
#include <vector>

#include "app/program_state_win.h"
#include "image/plugin_host_win.h"

namespace app {

// The host for one operation.
plugins::Host PluginHostNow();

// Copies keys 60 and 102 from the settings and asks the plug-ins for their extensions anew.
void RebuildPluginLists(Program& p);

std::vector<std::wstring> ImagePluginExtensions();
std::vector<std::wstring> ArchivePluginExtensions();

// Installs the image-decoding fallback and the plug-in archive reader; once, at start-up.
void InstallPluginHost();

} // namespace app
