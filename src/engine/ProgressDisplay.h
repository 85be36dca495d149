#pragma once
// How each download shows on the progress page: the size label written once per file, the bar
// following every notification.

#include <cstdint>
#include <string>

#include "engine/ProgressView.h"

// A download starts: the size label is emptied.
void ShowDownloadStart(TProgressView& View);

// A progress notification. The bar takes ProgressMax and Progress (unsigned 32-bit counts). The
// size label is written from the first notification of the file that knows the size: the
// connecting and request steps come first and carry 0, which would read "0 Byte" for every file.
// Once written it is kept for the rest of the file. Separator: the system's thousands separator.
void ShowDownloadProgress(TProgressView& View, std::uint32_t ProgressMax, std::uint32_t Progress,
                          const std::string& Separator);
