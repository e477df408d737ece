// The help text, in German or English.
#pragma once

#include <string>

namespace rz {

// German unless the locale names another language: the first of LC_ALL, LC_MESSAGES and
// LANG that is set decides ("de_DE.UTF-8" or "C" German, "en_US.UTF-8" English); with none
// set, Windows asks for the user's display language.
bool HelpInGerman();

std::string HelpText(bool german);

} // namespace rz
