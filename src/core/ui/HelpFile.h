#pragma once

#include "core/Prompter.h"

// Opens the help file "Tamberlyn.hlp" of the application folder with the desktop's viewer for it, or
// says that it is missing.
void ShowHelpFile(Prompter& prompter);
