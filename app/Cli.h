// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Modes of the program. Each takes the arguments after the mode word (then
// the options that stood before it) and returns the process exit status.
// RunRenderSkin and RunWindow draw with Qt and live in tolmu-gui; the others
// are plain.
#include "app/Modes.h"

int RunCheck(const Args& args);      // tolmu --check
int RunShow(const Args& args);       // tolmu --show N
int RunRenderSkin(const Args& args); // tolmu --render-skin DIR OUT.png
int RunSummary(const Args& args);    // tolmu --summary: load and summarise
int RunWindow(const Args& args);
int RunSignIn(const Args& args);     // tolmu --sign-in NAME: OAuth2 from a terminal     // tolmu without a mode: the main window
