#pragma once

#include <string>

// The licence agreement that the agreement page shows: the UTF-8 text built into the resources,
// its lines joined by CR LF as an edit control wants them.
std::wstring LicenseText();
