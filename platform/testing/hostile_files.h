#pragma once
// Things that can stand where the app expects one of its files, for tables of what each
// store does with them: none may hang, crash or be written over.
#include <filesystem>
#include <string>
#include <vector>

namespace tw::testing {

enum class Hostile { fifo, socket, devZeroLink, symlinkLoop, danglingLink, directory, noPermission, sparse };

struct HostileKind {
    Hostile kind;
    const char* name;
};

// A fresh, empty folder "<temp>/<prefix><pid>" for a table of hostile files: short,
// since a socket's path must fit in 108 bytes.
std::filesystem::path freshShortFolder(const std::string& prefix);

// Every kind, in table order.
const std::vector<HostileKind>& hostileKinds();

// Puts a thing of `kind` at `path`, whose folder exists. A file without permission holds
// a short text; a sparse one a short text and then a hole up to 1 GiB, past every limit.
void makeHostile(const std::filesystem::path& path, Hostile kind);

// True for a regular file (sparse or without permission): a store may set it aside, or
// replace it where its rules say so. The other kinds are never written over.
bool isRegular(Hostile kind);

// Root reads a file without permission, so that row shows nothing when run as root.
bool meaninglessHere(Hostile kind);

// What stands at `path`, not following a link: its type, mode, size, inode and link
// target. The same text before and after means it was left alone.
std::string fingerprint(const std::filesystem::path& path);

}  // namespace tw::testing
