#pragma once

// Shared by the stand-ins for the companion programs: they take no
// arguments and find their files beside their own executable.

#include <string>

namespace standin {

// The folder of the running executable, with a trailing "/".
std::string ownFolder();

// Appends "<name> <pid>" to "companions.log" beside the executable, only when
// that file exists (tests create it to see which companions started).
void recordStart(const char *name);

// Replaces `path` with `content` in one step, so a reader never sees half.
bool replaceFile(const std::string &path, const std::string &content);

} // namespace standin
