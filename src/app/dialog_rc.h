// The dialog template as resource script text, for the Windows build's
// resource compiler. varnoke.rc holds this text; a test keeps the two equal.
#pragma once

#include <string>

std::string dialog_rc_text();
