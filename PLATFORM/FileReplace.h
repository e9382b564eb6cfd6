// FileReplace: writing a whole file so that a failure leaves the old one as it was. Std-only.
#pragma once

#include <string>
#include <string_view>

// Replaces the file's contents by `bytes`, or creates the file. The new text goes to a scratch
// file beside it, which then takes the file's place, with the old file's permissions; a
// symbolic link stays a link (its target is replaced), and a file with several hard links is
// rewritten in place, its old bytes put back if the write fails. A folder, FIFO, socket or
// device at the path is refused and left as it is. False, with the reason, when the file could
// not be written; the old file is then whole.
[[nodiscard]] bool replace_file_contents(const std::string &path, std::string_view bytes,
                                         std::string &reason);
