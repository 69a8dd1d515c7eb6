// SPDX-License-Identifier: MIT
#pragma once
// Where the folder list starts: the folder the user started the program in,
// named the way the user knows it even when the system no longer can.
//
// The first scan runs on this folder before the window appears, so a wrong
// guess costs more than an empty list: falling back to "/" would walk the
// whole system. A folder that is gone or cannot be read is still the right
// start; its scan is empty and marked as unreadable, and the user walks up
// from it in the folder list.

#include <string>

namespace quorvel {

// The process's current directory as the system names it, or empty when it
// has no name (it was removed, or a folder above it may not be searched).
std::string CurrentDirectory();

// The current directory; failing that, the folder the shell says the user is
// in ($PWD, when absolute), even if it no longer exists; failing that, the
// home folder ($HOME when absolute, else the user's entry in the password
// database). "/" only when none of these is known at all. The system gets
// half a second to answer; after that the folder is $PWD or $HOME (when
// absolute) as they stand, without asking it.
std::string StartFolder();

}  // namespace quorvel
