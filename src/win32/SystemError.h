#pragma once

#include <string>

// The system's text for an error code (FormatMessage), UTF-8, without the trailing line break;
// "System error <code>" when the system has none.
std::string SysErrorMessage(unsigned long Code);

// The system's text for a COM result code, like SysErrorMessage; "OLE error %.8x" with the code
// when the system has none.
std::string OleErrorMessage(long Code);
