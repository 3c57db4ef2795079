#pragma once

#include <QString>

namespace platform {

// The user's base folders by the XDG rules: the variable's path when it is absolute, else the
// default under the home folder, as a relative value is invalid and is to be ignored.
QString configHome(); // $XDG_CONFIG_HOME, else ~/.config
QString cacheHome();  // $XDG_CACHE_HOME, else ~/.cache
QString stateHome();  // $XDG_STATE_HOME, else ~/.local/state

} // namespace platform
