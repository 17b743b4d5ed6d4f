// After the plug-in folder (settings key 60) or the excluded list (key 102) changed: the plug-ins'
// extension lists are rebuilt, the RAR module is looked for in the new folder, the folder tree takes
// the new archive extensions and the panes list their locations again with the new type filter.
#pragma once

#include "app/program_state_win.h"

namespace ui {

void RefreshPluginState(app::Program& p);

} // namespace ui
