#include "app/ErrorText.h"

std::string ErrorBoxText(std::string Message) {
  // In UTF-8 the last byte of a multi-byte character is at least 0x80, so a byte comparison
  // orders the last character as a code point comparison would.
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') Message += '.';
  return Message;
}
