#pragma once

#include <string>

// The text of the application's error box: the message, with "." appended when it is not empty
// and its last character sorts after "." (any non-ASCII character does). UTF-8.
std::string ErrorBoxText(std::string Message);
