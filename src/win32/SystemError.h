#pragma once

#include <string>

// The system's text for an error code (FormatMessage), UTF-8, without the trailing line break;
// "System error <code>" when the system has none.
std::string SysErrorMessage(unsigned long Code);
